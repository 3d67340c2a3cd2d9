#!/bin/bash
# Download benchmark (prints figures, asserts nothing): 1,000 small files and
# one 1 GiB file served by nginx on loopback, fetched by the updater's HTTP
# download path (4 files at once), by wget -i (one connection) and by
# curl -K --parallel --parallel-max 4.
#
#   bench/download/run.sh [BUILD_DIR]     default: build/bench (configured here)
#
# Needs nginx, wget, curl and /usr/bin/time (scripts/install-deps.sh).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT"  # the presets live here
BUILD=${1:-$ROOT/build/bench}
SMALL_FILES=1000
LARGE_MIB=1024
RUNS=5

BENCH=$BUILD/bench/qv_bench_download
if [ -z "${1:-}" ]; then
    cmake --preset demo -B "$BUILD" >/dev/null
    if ! cmake --build "$BUILD" --target qv_bench_download -j2 >"$BUILD/bench-build.log" 2>&1; then
        echo "building qv_bench_download failed (needs add_subdirectory(bench) in the" \
             "top-level CMakeLists.txt); see $BUILD/bench-build.log" >&2
        exit 1
    fi
fi
if [ ! -x "$BENCH" ]; then
    echo "$BENCH is not built" >&2
    exit 1
fi

WORK=$(mktemp -d /tmp/qv-bench-download.XXXXXX)
source "$ROOT/bench/nginx.sh"
cleanup() {
    stop_nginx
    rm -rf "$WORK"
}
trap cleanup EXIT

# ---- Data ----

mkdir -p "$WORK/www/small" "$WORK/www/large" "$WORK/out"
for i in $(seq -w 1 $SMALL_FILES); do
    # 1 to 16 KiB, different per file
    head -c $(( (10#$i * 7919) % 16384 + 1024 )) /dev/urandom >"$WORK/www/small/f$i.bin"
done
(cd "$WORK/www/small" && ls) >"$WORK/small.names"
head -c $((LARGE_MIB * 1024 * 1024)) /dev/urandom >"$WORK/www/large/big.bin"
echo big.bin >"$WORK/large.names"

# ---- Server ----

PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
start_nginx "$WORK/nginx" "127.0.0.1:$PORT" "root $WORK/www;" \
    "http://127.0.0.1:$PORT/large/big.bin"
BASE=http://127.0.0.1:$PORT

# ---- Measuring ----

# Runs a command $RUNS times into a fresh output folder; prints the best
# wall-clock seconds and the highest peak memory (KiB).
measure() {
    local best= peak=0 stats elapsed rss
    for _ in $(seq $RUNS); do
        rm -rf "$WORK/out" && mkdir -p "$WORK/out"
        if ! /usr/bin/time -f '%e %M' -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/stderr.txt"; then
            echo "failed: $*" >&2
            cat "$WORK/stderr.txt" >&2
            exit 1
        fi
        stats=$(tail -n1 "$WORK/time.txt")
        elapsed=${stats% *}
        rss=${stats#* }
        if [ -z "$best" ] || awk "BEGIN{exit !($elapsed < $best)}"; then best=$elapsed; fi
        if [ "$rss" -gt "$peak" ]; then peak=$rss; fi
    done
    echo "$best $peak"
}

curl_config() {  # one url/output pair per file
    local set=$1
    while read -r name; do
        echo "url = \"$BASE/$set/$name\""
        echo "output = \"$WORK/out/$name\""
    done <"$WORK/$set.names"
}
curl_config small >"$WORK/small.curl"
curl_config large >"$WORK/large.curl"
sed "s|^|$BASE/small/|" "$WORK/small.names" >"$WORK/small.urls"
sed "s|^|$BASE/large/|" "$WORK/large.names" >"$WORK/large.urls"

report() {  # label ours wget curl
    local label=$1 ours=$2 wget=$3 curl=$4
    read -r ours_s ours_kib <<<"$ours"
    read -r wget_s wget_kib <<<"$wget"
    read -r curl_s curl_kib <<<"$curl"
    awk -v l="$label" -v o="$ours_s" -v ok="$ours_kib" -v w="$wget_s" -v wk="$wget_kib" \
        -v c="$curl_s" -v ck="$curl_kib" 'BEGIN {
        printf "%s\n", l
        printf "  updater   %8.3f s   peak %6.1f MiB\n", o, ok / 1024
        printf "  wget -i   %8.3f s   peak %6.1f MiB   ratio %.2f\n", w, wk / 1024, o / w
        printf "  curl -Z   %8.3f s   peak %6.1f MiB   ratio %.2f\n", c, ck / 1024, o / c
    }'
}

echo "Download benchmark: best of $RUNS runs, nginx on 127.0.0.1:$PORT"
small_ours=$(measure "$BENCH" "$BASE/small/" "$WORK/small.names" "$WORK/out")
small_wget=$(measure wget -q -i "$WORK/small.urls" -P "$WORK/out")
small_curl=$(measure curl -sf -Z --parallel-max 4 -K "$WORK/small.curl")
report "$SMALL_FILES small files (1-17 KiB)" "$small_ours" "$small_wget" "$small_curl"

large_ours=$(measure "$BENCH" "$BASE/large/" "$WORK/large.names" "$WORK/out")
large_wget=$(measure wget -q -i "$WORK/large.urls" -P "$WORK/out")
large_curl=$(measure curl -sf -Z --parallel-max 4 -K "$WORK/large.curl")
report "one $LARGE_MIB MiB file" "$large_ours" "$large_wget" "$large_curl"

# Every download is hashed (SHA-256) while it arrives; a signed release's
# file is checked against its listed hash as well.
(cd "$WORK/www/large" && sha256sum big.bin) >"$WORK/large.sums"
large_hashed=$(measure "$BENCH" "$BASE/large/" "$WORK/large.sums" "$WORK/out")
read -r plain_s _ <<<"$large_ours"
read -r hashed_s hashed_kib <<<"$large_hashed"
awk -v h="$hashed_s" -v hk="$hashed_kib" -v p="$plain_s" 'BEGIN {
    printf "  updater, checked against its hash   %8.3f s   peak %6.1f MiB   %+.0f %% against unchecked\n", h, hk / 1024, (h / p - 1) * 100
}'
