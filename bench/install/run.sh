#!/bin/bash
# Installation benchmark (prints figures, asserts nothing): the updater's
# installation next to the standard tools doing the same work on the same
# data in the same run. Best wall time of RUNS, its ratio to the tools', and
# the peak resident memory, all from /usr/bin/time.
#
#   bench/install/run.sh [BUILD_DIR]     default: build/bench (configured here)
#
# Cases:
#   - verification and copying of one 1 GiB file and of 10,000 small files by
#     the phase's own code, next to cmp (diff -rq for the tree) + cp + sync:
#     the updater makes what it installs durable, so the tools flush too;
#   - the same 10,000 files with the download folder on another file system
#     (/dev/shm, where it is one of its own): there the updater copies, on
#     one file system it moves each download into its staging folder;
#   - an install-only run of the real updater ("/U" with 5,000 small files
#     waiting, from its start to its end) next to diff -rq + cp + sync + rm;
#     the same run with one file waiting shows what the run's own pauses
#     take (its timer steps and the settling before the main program is
#     looked for), whatever it installs;
#   - the extraction of a large archive next to unzip -o.
# Every installed file differs from its download in its last byte, so both
# sides compare everything; the downloads carry a date in even seconds, as
# the download phase leaves them. Each run starts from freshly prepared,
# flushed folders.
#
# Needs cmp, diff, cp, unzip, python3 and /usr/bin/time (scripts/install-deps.sh).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT"  # the presets live here
BUILD=${1:-$ROOT/build/bench}
SMALL_FILES=10000
INSTALL_ONLY_FILES=5000
LARGE_MIB=1024
ARCHIVE_MIB=512
RUNS=3
DOWNLOAD_DATE=1717000000  # an even second

if [ -z "${1:-}" ]; then
    cmake --preset demo -B "$BUILD" >/dev/null
    cmake --build "$BUILD" --target qv_bench_install qv_bench_updater_unsigned -j2 >/dev/null
fi
BENCH=$BUILD/bench/install/qv_bench_install
UPDATER=$BUILD/bench/qv_bench_updater_unsigned

WORK=$(mktemp -d /tmp/qv-bench-install.XXXXXX)
OTHER=
if [ -d /dev/shm ] && [ "$(stat -c %d /dev/shm)" != "$(stat -c %d "$WORK")" ]; then
    OTHER=$(mktemp -d /dev/shm/qv-bench-install.XXXXXX)
fi
trap 'rm -rf "$WORK" ${OTHER:+"$OTHER"}' EXIT

# ---- Data ----

echo "Preparing data in $WORK ..." >&2
# The source of each case: downloaded files (new) and installed ones (old).
mkdir -p "$WORK/large/new" "$WORK/large/old"
head -c $((LARGE_MIB * 1024 * 1024)) /dev/urandom >"$WORK/large/new/big.bin"
cp "$WORK/large/new/big.bin" "$WORK/large/old/big.bin"
printf 'x' | dd of="$WORK/large/old/big.bin" bs=1 seek=$((LARGE_MIB * 1024 * 1024 - 1)) \
    conv=notrunc status=none
touch -d "@$DOWNLOAD_DATE" "$WORK/large/new/big.bin"

small_files() {  # FOLDER COUNT
    /usr/bin/python3 - "$1" "$2" "$DOWNLOAD_DATE" <<'PY'
import os, random, sys
root, count, date = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
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
        if side == "new":
            os.utime(path, (date, date))
PY
}
small_files "$WORK/small" $SMALL_FILES
small_files "$WORK/install-only" $INSTALL_ONLY_FILES
small_files "$WORK/install-one" 1

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
        sync  # what the preparation wrote is not the measured command's to flush
        /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" >/dev/null
        read -r seconds kib <"$WORK/time"
        if [ -z "$best" ] || awk "BEGIN { exit !($seconds < $best) }"; then best=$seconds; fi
        if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
    done
    echo "$best $peak"
}

DL=$WORK/dl
INST=$WORK/inst
fresh_copy() {  # CASE [DOWNLOAD_FOLDER]: the folders as the phase finds them
    DL=${2:-$WORK/dl}
    rm -rf "$WORK/dl" "$INST" ${OTHER:+"$OTHER/dl"}
    cp -a "$WORK/$1/new" "$DL"
    cp -a "$WORK/$1/old" "$INST"
}
prepare_large() { fresh_copy large; }
prepare_small() { fresh_copy small; }
prepare_small_other() { fresh_copy small "$OTHER/dl"; }
prepare_extract() { rm -rf "$WORK/out"; mkdir -p "$WORK/out"; }

tools_large() { cmp -s "$DL/big.bin" "$INST/big.bin" || cp -a "$DL/big.bin" "$INST/big.bin"; }
tools_small() { diff -rq "$DL" "$INST" >/dev/null || cp -a "$DL/." "$INST/"; }
export -f tools_large tools_small

# The install-only run: the updater in its installation folder, the
# configuration and the comparison file in the temporary folder, every file
# of the update waiting in the download folder below it.
RUN=$WORK/run
UPDATE=install-only
prepare_install_only() {
    rm -rf "$RUN"
    mkdir -p "$RUN/install" "$RUN/registry" "$RUN/share"
    mkdir -m 700 "$RUN/tmp" "$RUN/xdg"
    cp "$UPDATER" "$RUN/install/Quennvoldar"
    printf '#!/bin/sh\n' >"$RUN/install/produkt"
    chmod 755 "$RUN/install/produkt"
    cp -a "$WORK/$UPDATE/old/." "$RUN/install/"
    cp -a "$WORK/$UPDATE/new" "$RUN/tmp/Produkt"
    printf '%s\r\n' "Produkt V1.43" "Hauptfenster" "$RUN/install/produkt" "Produkt" \
        "12 DejaVu Sans" "0 0 16777215" >"$RUN/tmp/Produkt.cfg"
    : >"$RUN/tmp/Quennvoldar.fn"
}
# Every question (only the last: start the program?) is answered No.
ours_install_only() {
    yes n 2>/dev/null | TMPDIR=$RUN/tmp XDG_RUNTIME_DIR=$RUN/xdg XDG_DATA_DIRS=$RUN/share \
        QUENNVOLDAR_REGISTRY_DIR=$RUN/registry "$RUN/install/Quennvoldar" Produkt.cfg /U
}
tools_install_only() {
    diff -rq "$RUN/tmp/Produkt" "$RUN/install" >/dev/null ||
        cp -a "$RUN/tmp/Produkt/." "$RUN/install/"
    sync
    rm -rf "$RUN/tmp/Produkt"
}
export -f ours_install_only tools_install_only
# The preparation chooses the download folder for the tools too.
export WORK RUN DL INST

row() {  # LABEL GOAL OURS TOOLS
    local ours_s ours_kib tools_s tools_kib
    read -r ours_s ours_kib <<<"$3"
    read -r tools_s tools_kib <<<"$4"
    awk -v label="$1" -v goal="$2" -v os="$ours_s" -v ok="$ours_kib" -v ts="$tools_s" \
        -v tk="$tools_kib" 'BEGIN {
        printf "%-46s %8.2f %8.2f %7.2fx %6s %9.1f %9.1f\n",
               label, os, ts, (ts > 0 ? os / ts : 0), goal, ok / 1024, tk / 1024 }'
}

echo "Measuring ($RUNS runs each, best time; load: $(cut -d' ' -f1-3 /proc/loadavg)) ..." >&2
large_ours=$(measure prepare_large "$BENCH" verify-copy "$WORK/dl" "$INST")
large_tools=$(measure prepare_large bash -c 'tools_large')
large_sync=$(measure prepare_large bash -c 'tools_large && sync')
small_ours=$(measure prepare_small "$BENCH" verify-copy "$WORK/dl" "$INST")
small_tools=$(measure prepare_small bash -c 'tools_small')
small_sync=$(measure prepare_small bash -c 'tools_small && sync')
if [ -n "$OTHER" ]; then
    other_ours=$(measure prepare_small_other "$BENCH" verify-copy "$OTHER/dl" "$INST")
    other_sync=$(measure prepare_small_other bash -c 'tools_small && sync')
fi
install_only_ours=$(measure prepare_install_only bash -c ours_install_only)
# Beside the update the installation folder holds only the updater's files.
if diff -rq "$WORK/install-only/new" "$RUN/install" | grep -v "^Only in $RUN/install" | grep -q .
then
    echo "the install-only run did not install the update" >&2
    exit 1
fi
install_only_tools=$(measure prepare_install_only bash -c tools_install_only)
UPDATE=install-one
install_one_ours=$(measure prepare_install_only bash -c ours_install_only)
install_one_tools=$(measure prepare_install_only bash -c tools_install_only)
extract_ours=$(measure prepare_extract "$BENCH" extract "$WORK/archive.zip" "$WORK/out")
extract_tools=$(measure prepare_extract unzip -o -q "$WORK/archive.zip" -d "$WORK/out")

printf "%-46s %8s %8s %8s %6s %9s %9s\n" "case (tools)" "ours s" "tools s" "ratio" "goal" \
    "ours MiB" "tools MiB"
row "1 file of ${LARGE_MIB} MiB (cmp + cp + sync)" 1.2x "$large_ours" "$large_sync"
row "$SMALL_FILES files (diff -rq + cp + sync)" 1.5x "$small_ours" "$small_sync"
if [ -n "$OTHER" ]; then
    row "  download on another file system: copied" "" "$other_ours" "$other_sync"
fi
row "install-only run, $INSTALL_ONLY_FILES files (+ sync + rm)" 1.2x "$install_only_ours" \
    "$install_only_tools"
row "  install-only run, 1 file: the run's pauses" "" "$install_one_ours" "$install_one_tools"
row "extract ${ARCHIVE_MIB} MiB archive (unzip -o)" 1.3x "$extract_ours" "$extract_tools"
row "  1 file, tools without sync" "" "$large_ours" "$large_tools"
row "  $SMALL_FILES files, tools without sync" "" "$small_ours" "$small_tools"

if command -v eatmydata >/dev/null; then
    large_nosync=$(measure prepare_large eatmydata "$BENCH" verify-copy "$WORK/dl" "$INST")
    small_nosync=$(measure prepare_small eatmydata "$BENCH" verify-copy "$WORK/dl" "$INST")
    row "  ours without flushes, 1 file" "" "$large_nosync" "$large_tools"
    row "  ours without flushes, $SMALL_FILES files" "" "$small_nosync" "$small_tools"
fi
