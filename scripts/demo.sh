#!/usr/bin/env bash
# The main job: a complete update of a sample product from local servers.
#
# Lays out an installed old version of the sample product, puts a new version
# on the test update server (FTP 127.0.0.1:2121, HTTP 127.0.0.1:8080), starts
# the sample main program, writes the configuration file the way the main
# program does and starts the updater with it. On a terminal you answer the
# questions; otherwise every answer is "j". At the end it prints the outcome
# and what changed in the installed folder.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset demo > /dev/null
cmake --build --preset demo > /dev/null

demo=$(mktemp -d /tmp/quennvoldar-demo.XXXXXX)
export TMPDIR=$demo/tmp XDG_RUNTIME_DIR=$demo/run XDG_DATA_DIRS=$demo/share
export QUENNVOLDAR_REGISTRY_DIR=$demo/registry
mkdir -p "$TMPDIR" "$XDG_RUNTIME_DIR" "$XDG_DATA_DIRS/applications" "$QUENNVOLDAR_REGISTRY_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
installed=$demo/installed/Produkt
server=$demo/server

# The product is started by its start script, which leaves its process id
# here; the updater may start it again at the end. It keeps away from the
# updater's output, which the demo reads to its end.
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

# ---- The installed old version ----
mkdir -p "$installed/Daten" "$installed/Alt"
cp build/demo/tests/sample_main_program/SampleMainProgram "$installed/SampleMainProgram"
cat > "$installed/produkt" << EOF
#!/bin/sh
echo \$\$ > "$demo/produkt.pid"
exec "$installed/SampleMainProgram" --mutex "Produkt V1.43" --title "Produkt - Hauptfenster" \\
    --ready-file "$demo/produkt.ready" < /dev/null > /dev/null 2>&1
EOF
chmod 755 "$installed/produkt"
cp build/demo/Quennvoldar "$installed/Quennvoldar"
printf 'Produkt 1.43\r\n' > "$installed/liesmich.txt"
printf 'alte Bibliothek\n' > "$installed/Daten/alt.dll"
printf 'veraltet\n' > "$installed/Alt/veraltet.txt"
printf 'bleibt\n' > "$installed/Alt/behalten.txt"
printf 'unverändert\n' > "$installed/Daten/gleich.txt"
cat > "$QUENNVOLDAR_REGISTRY_DIR/Produkt_is1.key" << EOF
InstallLocation=sz:$installed/
DisplayName=sz:Produkt V1.43
DisplayVersion=sz:1.43
InstallDate=sz:20250101
HelpLink=sz:http://www.quennvoldar.example
EOF

# ---- The new version on the update server ----
mkdir -p "$server/Quennvoldar" "$server/Produkt/Daten/Bilder" "$server/Produkt/Alt"
cp build/demo/Quennvoldar "$server/Quennvoldar/Quennvoldar2"
printf 'Produkt 1.44\r\nNeu in dieser Fassung: alles.\r\n' > "$server/Produkt/liesmich.txt"
printf 'ein Bild\n' > "$server/Produkt/Daten/Bilder/logo.dat"
printf 'mit Leerzeichen und Umlaut\n' > "$server/Produkt/Daten/Neue Datei ä.txt"
cp "$installed/Daten/gleich.txt" "$server/Produkt/Daten/gleich.txt"
printf 'bleibt\n' > "$server/Produkt/Alt/behalten.txt"
printf 'l Daten\\alt.dll\r\ns Alt\\\r\n' > "$server/Produkt/Quennvoldar.job"
python3 - "$server/Produkt/Hilfe.zip" << 'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    archive.writestr("Hilfe/index.txt", "Hilfe zum Produkt\n" * 50)
    archive.writestr("Hilfe/Kapitel 1.txt", "Erste Schritte\n")
EOF

# The ports are fixed in the demo build; a test run may hold them a while.
for attempt in $(seq 120); do
    tests/update_server/update-server.sh start "$demo/server-run" "$server" 2> "$demo/server-start.txt" \
        && break
    if ! grep -q "Address already in use" "$demo/server-start.txt" || [[ $attempt -eq 120 ]]; then
        cat "$demo/server-start.txt" >&2
        exit 1
    fi
    sleep 0.5
done

# ---- The main program starts the updater ----
"$installed/produkt" &
for _ in $(seq 100); do [[ -e $demo/produkt.ready ]] && break; sleep 0.05; done
rm -f "$demo/produkt.ready"

printf '%s\r\n' "Produkt V1.43" "Hauptfenster" "$installed/produkt" "Produkt" \
    "14 DejaVu Sans" "0 0 16777215" > "$TMPDIR/Produkt.cfg"

snapshot() { (cd "$installed" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(snapshot)

echo "Installiert: $installed"
echo "Updater:     $installed/Quennvoldar Produkt.cfg"
echo
log=$demo/updater.log
if [[ -t 0 ]]; then
    "$installed/Quennvoldar" Produkt.cfg | tee "$log"
else
    (yes j || true) | "$installed/Quennvoldar" Produkt.cfg | tee "$log"
fi

# ---- The outcome and what changed ----
after=$(snapshot)
echo
# The last box of the run reports the outcome.
echo "Ergebnis: $(grep -A1 -E '^(Informationen|Bestätigen):$' "$log" | tail -n 1 || true)"
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
sed 's/^/  /' "$QUENNVOLDAR_REGISTRY_DIR/Produkt_is1.key"
for _ in $(seq 40); do [[ -e $demo/produkt.ready ]] && break; sleep 0.05; done
if [[ -e $demo/produkt.ready ]]; then
    echo
    echo "Das Hauptprogramm wurde wieder gestartet (wird mit dem Demo beendet)."
fi
