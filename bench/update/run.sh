#!/bin/bash
# Signed-update benchmark (prints figures, asserts nothing): a whole update of
# one large file by the updater with release keys, beside the same update by
# a build without keys, in one run. The listing comes from the test server's
# FTP on 127.0.0.1:2121, the file from nginx on 127.0.0.1:8080 (the demo
# build's deployment values), so neither server bounds the figure.
#
#   bench/update/run.sh [BUILD_DIR]     default: build/bench (configured here)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT"  # the presets live here
BUILD=${1:-$ROOT/build/bench}
LARGE_MIB=512
RUNS=3

if [ -z "${1:-}" ]; then
    cmake --preset demo -B "$BUILD" >/dev/null
    cmake --build "$BUILD" --target Quennvoldar qv_bench_updater_unsigned quennvoldar-release \
        -j2 >/dev/null
fi
product=$(cmake -L -N "$BUILD" | sed -n 's/^QV_RELEASE_PRODUCT:STRING=//p')

WORK=$(mktemp -d /tmp/qv-bench-update.XXXXXX)
source "$ROOT/bench/nginx.sh"
cleanup() {
    tests/update_server/update-server.sh stop "$WORK/server-run" >/dev/null 2>&1 || true
    stop_nginx
    rm -rf "$WORK"
}
trap cleanup EXIT

# ---- The release ----

server=$WORK/server
mkdir -p "$server/Quennvoldar" "$server/Produkt"
echo "zum Updater" >"$server/Quennvoldar/liesmich.txt"
head -c $((LARGE_MIB * 1024 * 1024)) /dev/urandom >"$server/Produkt/gross.bin"
touch -d '3 days ago' "$server/Quennvoldar/liesmich.txt" "$server/Produkt/gross.bin"
for folder in updater product; do
    [ $folder = updater ] && path=$server/Quennvoldar || path=$server/Produkt
    "$BUILD/release_tool/quennvoldar-release" sign tests/keys/test-release.secret \
        --product "$product" --folder $folder "$path" >/dev/null
done

# ---- Servers ----

tests/update_server/update-server.sh start "$WORK/server-run" "$server" \
    --ftp-port 2121 --http-port 8081 >/dev/null
start_nginx "$WORK/nginx" 127.0.0.1:8080 "location /updates/ { alias $server/; }" \
    "http://127.0.0.1:8080/updates/Produkt/gross.bin"

# ---- Measuring ----

# One whole run from an empty installation: walk, download, verify, copy.
# Prints wall-clock seconds and peak memory (KiB).
update_once() {
    local updater=$1 run=$WORK/run
    rm -rf "$run"
    mkdir -p "$run/install" "$run/tmp" "$run/xdg" "$run/registry"
    chmod 700 "$run/xdg"
    cp "$updater" "$run/install/Quennvoldar"
    # The main program's path names the installation folder.
    printf '#!/bin/sh\n' >"$run/install/produkt"
    chmod 755 "$run/install/produkt"
    printf '%s\r\n' "Produkt V1.43" "Hauptfenster" "$run/install/produkt" "Produkt" "12 DejaVu Sans" \
        "0 0 16777215" >"$run/tmp/Produkt.cfg"
    # Every question is answered yes, the last (start the program) too.
    (yes j || true) | TMPDIR=$run/tmp XDG_RUNTIME_DIR=$run/xdg QUENNVOLDAR_REGISTRY_DIR=$run/registry \
        /usr/bin/time -f '%e %M' -o "$WORK/time.txt" "$run/install/Quennvoldar" Produkt.cfg \
        >"$WORK/updater.log" 2>&1
    if ! cmp -s "$run/install/gross.bin" "$server/Produkt/gross.bin"; then
        echo "the update did not land; the updater said:" >&2
        cat "$WORK/updater.log" >&2
        exit 1
    fi
    tail -n1 "$WORK/time.txt"
}

best_of() {
    local best= peak=0 elapsed rss
    for _ in $(seq $RUNS); do
        read -r elapsed rss < <(update_once "$1")
        if [ -z "$best" ] || awk "BEGIN{exit !($elapsed < $best)}"; then best=$elapsed; fi
        if [ "$rss" -gt "$peak" ]; then peak=$rss; fi
    done
    echo "$best $peak"
}

echo "Whole update of one $LARGE_MIB MiB file, best of $RUNS runs"
read -r unsigned_s unsigned_kib < <(best_of "$BUILD/bench/qv_bench_updater_unsigned")
read -r signed_s signed_kib < <(best_of "$BUILD/Quennvoldar")
awk -v u="$unsigned_s" -v uk="$unsigned_kib" -v s="$signed_s" -v sk="$signed_kib" 'BEGIN {
    printf "  without keys   %7.2f s   peak %6.1f MiB\n", u, uk / 1024
    printf "  signed         %7.2f s   peak %6.1f MiB   ratio %.2f\n", s, sk / 1024, s / u
}'
