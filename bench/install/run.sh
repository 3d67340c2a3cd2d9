#!/bin/bash
# Installation benchmark (prints figures, asserts nothing): the updater's
# verification and copying of one 1 GiB file and of 10,000 small files next to
# cmp (diff -rq for the tree) and cp on the same data, and its extraction of a
# large archive next to unzip -o. Best wall time of RUNS, its ratio to the
# tool's, and the peak resident memory, all from /usr/bin/time.
#
#   bench/install/run.sh [BUILD_DIR]     default: build/bench (configured here)
#
# Every installed file differs from its download in its last byte, so both
# sides read everything twice and write everything once. The updater also
# makes the copied files durable before they take their places (one flush of
# the file system for the staged set, one for the journal, one after the
# renames; cp does not flush): the row "cp + sync" shows what that costs the
# tools, and, where eatmydata is installed, the row "without flushes" the
# updater without it.
#
# Needs cmp, diff, cp, unzip, python3 and /usr/bin/time (scripts/install-deps.sh).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${1:-$ROOT/build/bench}
SMALL_FILES=10000
LARGE_MIB=1024
ARCHIVE_MIB=512
RUNS=3

if [ ! -x "$BUILD/bench/install/qv_bench_install" ] || [ -z "${1:-}" ]; then
    cmake --preset demo -B "$BUILD" >/dev/null
    cmake --build "$BUILD" --target qv_bench_install -j2 >/dev/null
fi
BENCH=$BUILD/bench/install/qv_bench_install

WORK=$(mktemp -d /tmp/qv-bench-install.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# ---- Data ----

echo "Preparing data in $WORK ..." >&2
# The source of each case: downloaded files (new) and installed ones (old).
mkdir -p "$WORK/large/new" "$WORK/large/old"
head -c $((LARGE_MIB * 1024 * 1024)) /dev/urandom >"$WORK/large/new/big.bin"
cp "$WORK/large/new/big.bin" "$WORK/large/old/big.bin"
printf 'x' | dd of="$WORK/large/old/big.bin" bs=1 seek=$((LARGE_MIB * 1024 * 1024 - 1)) \
    conv=notrunc status=none

/usr/bin/python3 - "$WORK/small" "$SMALL_FILES" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(1)
for i in range(count):
    # 100 folders, 1 to 16 KiB per file
    relative = os.path.join(f"d{i % 100:02}", f"f{i:05}.bin")
    data = rng.randbytes(rng.randint(1024, 16384))
    for side, tail in (("new", b"n"), ("old", b"o")):
        path = os.path.join(root, side, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(data + tail)
PY

# Half text-like, half random content: deflate has real work on both.
/usr/bin/python3 - "$WORK/archive.zip" "$ARCHIVE_MIB" <<'PY'
import os, random, sys, zipfile
path, mib = sys.argv[1], int(sys.argv[2])
rng = random.Random(2)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(5000)]
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
    for i in range(mib // 4):
        if i % 2:
            data = rng.randbytes(4 << 20)
        else:
            data = b" ".join(rng.choice(words) for _ in range(700000))[: 4 << 20]
        archive.writestr(f"Daten/teil{i // 16:02}/datei{i:03}.bin", data)
PY

# ---- Measuring ----

# Runs a case RUNS times, each time after its preparation; prints
# "best-seconds peak-KiB".
measure() {
    local prepare=$1
    shift
    local best="" peak=0 seconds kib
    for _ in $(seq $RUNS); do
        $prepare
        /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" >/dev/null
        read -r seconds kib <"$WORK/time"
        if [ -z "$best" ] || awk "BEGIN { exit !($seconds < $best) }"; then best=$seconds; fi
        if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
    done
    echo "$best $peak"
}

fresh_copy() {  # CASE: download and installation folders as the phase finds them
    rm -rf "$WORK/dl" "$WORK/inst"
    cp -a "$WORK/$1/new" "$WORK/dl"
    cp -a "$WORK/$1/old" "$WORK/inst"
}
prepare_large() { fresh_copy large; }
prepare_small() { fresh_copy small; }
prepare_extract() { rm -rf "$WORK/out"; mkdir -p "$WORK/out"; }

tools_large() { cmp -s "$WORK/dl/big.bin" "$WORK/inst/big.bin" || cp "$WORK/dl/big.bin" "$WORK/inst/big.bin"; }
tools_small() { diff -rq "$WORK/dl" "$WORK/inst" >/dev/null || cp -a "$WORK/dl/." "$WORK/inst/"; }
export -f tools_large tools_small
export WORK

row() {  # LABEL GOAL OURS TOOLS
    local ours_s ours_kib tools_s tools_kib
    read -r ours_s ours_kib <<<"$3"
    read -r tools_s tools_kib <<<"$4"
    awk -v label="$1" -v goal="$2" -v os="$ours_s" -v ok="$ours_kib" -v ts="$tools_s" \
        -v tk="$tools_kib" 'BEGIN {
        printf "%-34s %8.2f %8.2f %7.2fx %6s %9.1f %9.1f\n",
               label, os, ts, (ts > 0 ? os / ts : 0), goal, ok / 1024, tk / 1024 }'
}

echo "Measuring ($RUNS runs each, best time) ..." >&2
large_ours=$(measure prepare_large "$BENCH" verify-copy "$WORK/dl" "$WORK/inst")
large_tools=$(measure prepare_large bash -c tools_large)
large_sync=$(measure prepare_large bash -c 'tools_large && sync')
small_ours=$(measure prepare_small "$BENCH" verify-copy "$WORK/dl" "$WORK/inst")
small_tools=$(measure prepare_small bash -c tools_small)
small_sync=$(measure prepare_small bash -c 'tools_small && sync')
extract_ours=$(measure prepare_extract "$BENCH" extract "$WORK/archive.zip" "$WORK/out")
extract_tools=$(measure prepare_extract unzip -o -q "$WORK/archive.zip" -d "$WORK/out")

printf "%-34s %8s %8s %8s %6s %9s %9s\n" "case" "ours s" "tools s" "ratio" "goal" \
    "ours MiB" "tools MiB"
row "verify+copy ${LARGE_MIB} MiB, 1 file" 1.2x "$large_ours" "$large_tools"
row "  tools: cmp + cp + sync" "" "$large_ours" "$large_sync"
row "verify+copy $SMALL_FILES files" 1.5x "$small_ours" "$small_tools"
row "  tools: diff -rq + cp + sync" "" "$small_ours" "$small_sync"
row "extract ${ARCHIVE_MIB} MiB archive" 1.3x "$extract_ours" "$extract_tools"

if command -v eatmydata >/dev/null; then
    large_nosync=$(measure prepare_large eatmydata "$BENCH" verify-copy "$WORK/dl" "$WORK/inst")
    small_nosync=$(measure prepare_small eatmydata "$BENCH" verify-copy "$WORK/dl" "$WORK/inst")
    row "  ours without flushes, 1 file" "" "$large_nosync" "$large_tools"
    row "  ours without flushes, $SMALL_FILES files" "" "$small_nosync" "$small_tools"
fi
