#!/usr/bin/env bash
# The main job: a complete update of a sample product from local servers.
#
#   scripts/demo.sh              the updater on Linux, in this terminal
#   scripts/demo.sh --windows    Quennvoldar.exe under Wine, in its windows
#
# Lays out an installed old version of the sample product, puts a new version
# on the test update server (FTP 127.0.0.1:2121, HTTP 127.0.0.1:8080), starts
# the sample main program, writes the configuration file the way the main
# program does and starts the updater with it. On a terminal you answer the
# questions (with --windows in the windows, which needs a $DISPLAY too);
# otherwise every answer is yes. With --windows the windows show on $DISPLAY,
# else on a private Xvfb screen, and pictures of them land in the demo's
# folder. At the end it prints the outcome and what changed in the installed
# folder. --windows runs the 32-bit product, or the same code built for x86_64
# where the kernel runs no 32-bit programs (scripts/windows-build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows-build.sh

windows=false
if [[ ${1:-} == --windows ]]; then
    windows=true
elif [[ $# -gt 0 ]]; then
    echo "usage: scripts/demo.sh [--windows]" >&2
    exit 2
fi

scripts/install-deps.sh
if $windows; then
    choose_windows_build
    prepare_windows_build
    build=$windows_build exe=.exe
    export WINEARCH=$windows_wine_arch
    cmake --build --preset "$windows_preset" --target Quennvoldar SampleMainProgram qv_ui_driver \
        > /dev/null
else
    build=build/demo exe=
fi
# The vendor's signing command runs on this machine in either case.
cmake --preset demo > /dev/null
if $windows; then
    cmake --build --preset demo --target quennvoldar-release > /dev/null
else
    cmake --build --preset demo > /dev/null
fi
release_tool=build/demo/release_tool/quennvoldar-release

demo=$(mktemp -d /tmp/quennvoldar-demo.XXXXXX)
installed=$demo/installed/Produkt
server=$demo/server

# The product as its main program and its setup name it.
mutex="Produkt V1.43"
main_title="Produkt - Hauptfenster"
uninstall_key=Produkt_is1
uninstall_values=("DisplayName=Produkt V1.43" "DisplayVersion=1.43" "InstallDate=20250101"
                  "HelpLink=http://www.quennvoldar.example")
# Lines 0 to 5 as the main program writes them; line 2, the program the
# updater starts again at the end, is the product's start script, and the
# status font is the platform's. A script has no version resource, so the
# updater leaves the version values of the uninstall entry as they are.
config_lines() {
    printf '%s\r\n' "$mutex" "Hauptfenster" "$1" "Produkt" "$2" "0 0 16777215"
}
# Wine's drive Z: is the Unix root.
windows_path() {
    local path=${1//\//\\}
    echo "Z:$path"
}

# The product is started by its start script, and the updater may start it
# again at the end. On Linux the script leaves its process id here; under
# Wine the end of the demo's Wine session ends it.
stop_main_program() {
    local pid
    pid=$(cat "$demo/produkt.pid" 2> /dev/null) || return 0
    if grep -qs "SampleMainProgram" "/proc/$pid/cmdline"; then kill "$pid"; fi
    return 0
}
cleanup() {
    stop_main_program
    tests/update_server/update-server.sh stop "$demo/server-run" > /dev/null 2>&1 || true
}
trap cleanup EXIT

scripts/demo-product.sh "$installed" "$server" "$build/Quennvoldar$exe" \
    "$build/tests/sample_main_program/SampleMainProgram$exe"

# ---- The vendor signs the release ----
# The demo build trusts the test key and expects its product's name in the
# manifests; a vendor makes its own key with "quennvoldar-release keygen"
# (README.md).
echo "Der Hersteller signiert die Freigabe:"
demo_setting() {
    cmake -L -N build/demo | sed -n "s/^$1:STRING=//p"
}
product=$(demo_setting QV_RELEASE_PRODUCT)
"$release_tool" sign tests/keys/test-release.secret --product "$product" --folder updater \
    "$server/Quennvoldar"
"$release_tool" sign tests/keys/test-release.secret --product "$product" --folder product \
    "$server/Produkt"
"$release_tool" check "$(demo_setting QV_RELEASE_KEYS)" "$server/Quennvoldar" "$server/Produkt"
echo

# ---- The product's start script ----
if $windows; then
    # "start" lets the script end while the product runs on.
    printf '@start "" "%s" --mutex "%s" --title "%s" --ready-file "%s"\r\n' \
        "$(windows_path "$installed/SampleMainProgram.exe")" "$mutex" "$main_title" \
        "$(windows_path "$demo/produkt.ready")" > "$installed/Produkt.cmd"
else
    # It keeps away from the updater's output, which the demo reads to its end.
    cat > "$installed/produkt" << EOF
#!/bin/sh
echo \$\$ > "$demo/produkt.pid"
exec "$installed/SampleMainProgram" --mutex "$mutex" --title "$main_title" \\
    --ready-file "$demo/produkt.ready" < /dev/null > /dev/null 2>&1
EOF
    chmod 755 "$installed/produkt"
fi

# Each run leaves the text of its last box in $outcome and names the file
# that shows the uninstall entry in $uninstall_entry.
outcome='' uninstall_entry='' release_floor=''

# The Linux updater in this terminal; the Windows-only parts stand in as
# README.md describes.
run_on_linux() {
    export TMPDIR=$demo/tmp XDG_RUNTIME_DIR=$demo/run XDG_DATA_DIRS=$demo/share
    export QUENNVOLDAR_REGISTRY_DIR=$demo/registry
    mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR" "$XDG_DATA_DIRS/applications" "$QUENNVOLDAR_REGISTRY_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    uninstall_entry=$QUENNVOLDAR_REGISTRY_DIR/$uninstall_key.key
    release_floor=$QUENNVOLDAR_REGISTRY_DIR/Quennvoldar/$product.releases
    {
        echo "InstallLocation=sz:$installed/"
        printf '%s\n' "${uninstall_values[@]}" | sed 's/=/=sz:/'
    } > "$uninstall_entry"

    "$installed/produkt" &
    for _ in $(seq 100); do [[ -e $demo/produkt.ready ]] && break; sleep 0.05; done
    rm -f "$demo/produkt.ready"
    config_lines "$installed/produkt" "14 DejaVu Sans" > "$TMPDIR/Produkt.cfg"

    echo "Installiert: $installed"
    echo "Updater:     $installed/Quennvoldar Produkt.cfg"
    echo
    local log=$demo/updater.log
    if [[ -t 0 ]]; then
        "$installed/Quennvoldar" Produkt.cfg | tee "$log"
    else
        (yes j || true) | "$installed/Quennvoldar" Produkt.cfg | tee "$log"
    fi
    outcome=$(grep -A1 -E '^(Informationen|Bestätigen):$' "$log" | tail -n 1 || true)
}

# Quennvoldar.exe under Wine, in a prefix of the demo's own.
run_on_windows() {
    local installed_windows
    installed_windows=$(windows_path "$installed")
    uninstall_entry=$demo/uninstall-entry.txt
    config_lines "$installed_windows\\Produkt.cmd" "16 Arial" > "$demo/Produkt.cfg"

    echo "Installiert: $installed ($installed_windows)"
    echo "Updater:     $installed/Quennvoldar.exe Produkt.cfg, unter Wine"
    echo
    python3 scripts/demo_windows.py --updater "$installed/Quennvoldar.exe" \
        --config "$demo/Produkt.cfg" \
        --start-script "$installed/Produkt.cmd" --ready-file "$demo/produkt.ready" \
        --uninstall-key "$uninstall_key" \
        --uninstall-value "InstallLocation=$installed_windows\\" \
        "${uninstall_values[@]/#/--uninstall-value=}" \
        --ui-driver "$build/tests/wine/qv_ui_driver.exe" \
        --screenshots "$demo/screenshots" \
        --report-outcome "$demo/outcome.txt" --report-uninstall-entry "$uninstall_entry"
    outcome=$(cat "$demo/outcome.txt")
    echo
    echo "Bildschirmfotos: $demo/screenshots"
}

# The ports are fixed in the demo build; the script waits while a test run holds them.
tests/update_server/update-server.sh start "$demo/server-run" "$server"

snapshot() { (cd "$installed" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(snapshot)
if $windows; then run_on_windows; else run_on_linux; fi
after=$(snapshot)

# ---- The outcome and what changed ----
echo
echo "Ergebnis: $outcome" | sed '2,$s/^/          /'
echo
echo "Geändert im Installationsordner:"
python3 - "$before" "$after" << 'EOF'
import sys
def parse(text):
    return {line[66:]: line[:64] for line in text.splitlines() if line}
old, new = parse(sys.argv[1]), parse(sys.argv[2])
for name in sorted(old.keys() | new.keys()):
    if name not in old:
        print("  neu:      ", name)
    elif name not in new:
        print("  entfernt: ", name)
    elif old[name] != new[name]:
        print("  geändert: ", name)
EOF
echo
echo "Deinstallationseintrag:"
sed 's/^/  /' "$uninstall_entry"
if [[ -n $release_floor && -e $release_floor ]]; then
    echo
    echo "Angenommene Freigaben (nur der Updater darf sie ändern):"
    sed 's/^/  /' "$release_floor"
fi
for _ in $(seq 40); do [[ -e $demo/produkt.ready ]] && break; sleep 0.05; done
if [[ -e $demo/produkt.ready ]]; then
    echo
    echo "Das Hauptprogramm wurde wieder gestartet (wird mit dem Demo beendet)."
fi
