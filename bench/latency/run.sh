#!/bin/bash
# Latency benchmark (prints figures, asserts nothing): a whole update run of
# the real updater over a slow link next to lftp's mirror (one connection,
# and --parallel=6) and rclone copy (4 transfers), all fetching the same
# 1,000 small files (1-16 KiB) in 50 of 60 folders. A proxy on loopback
# (delay_proxy.py) passes every chunk on half a round trip late each way and
# holds each new connection for one round trip; behind it listen pyftpdlib
# for FTP (ftp_server.py, its passive ports mirrored by the proxy) and nginx
# for HTTP. The updater lists over FTP and fetches over HTTP; the peers do
# both over FTP. Median wall time of RUNS per client and round trip, and its
# ratio to the best peer's.
#
#   bench/latency/run.sh [BUILD_DIR]     default: build/bench (configured here)
#
# The updater's ports are fixed by the demo build (FTP 127.0.0.1:2121, HTTP
# 127.0.0.1:8080), so the proxy listens there. As root every run has a
# network namespace of its own (tests/isolated-network.sh): nothing else
# holds the ports, a default route spares the updater its offline question,
# and from SIDE_BY_SIDE_MS on the runs of a round trip go side by side, since
# one after another they would take over half an hour there (the link's
# waits bound them, not the processors: their share is printed). Installs
# lftp and rclone when they are missing (root).
#
# QV_LATENCY_RTTS="0 20 100", QV_LATENCY_RUNS=3 and QV_LATENCY_SIDE_BY_SIDE_MS=100
# choose the round trips (ms), the runs per figure and where runs go side by side.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$ROOT/bench/latency
BUILD=${1:-$ROOT/build/bench}
read -r -a RTTS <<<"${QV_LATENCY_RTTS:-0 20 100}"
RUNS=${QV_LATENCY_RUNS:-3}
SIDE_BY_SIDE_MS=${QV_LATENCY_SIDE_BY_SIDE_MS:-100}
CLIENTS=(updater lftp lftp-parallel rclone)
declare -A LABEL=([updater]="updater" [lftp]="lftp mirror"
                  [lftp-parallel]="lftp mirror --parallel=6" [rclone]="rclone copy --transfers 4")
PEERS=(lftp lftp-parallel rclone)

if ! command -v lftp >/dev/null || ! command -v rclone >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get -qq -y -o DPkg::Lock::Timeout=600 \
        install --no-install-recommends lftp rclone >/dev/null
fi

cd "$ROOT"  # the presets live here
cmake --preset demo -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target Quennvoldar quennvoldar-release -j2 >"$BUILD/latency-build.log"
export QV_LATENCY_UPDATER=$BUILD/Quennvoldar
release_tool=$BUILD/release_tool/quennvoldar-release
product=$(cmake -L -N "$BUILD" | sed -n 's/^QV_RELEASE_PRODUCT:STRING=//p')

isolated=()
if [ "$(id -u)" -eq 0 ]; then
    isolated=("$ROOT/tests/isolated-network.sh")
else
    SIDE_BY_SIDE_MS=999999  # the fixed ports allow one run at a time
fi

WORK=$(mktemp -d /tmp/qv-bench-latency.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# ---- Data: the product's new version on the server, signed ----

echo "Preparing data in $WORK ..." >&2
mkdir -p "$WORK/server/Quennvoldar" "$WORK/times" "$WORK/cpu"
/usr/bin/python3 - "$WORK/server/Produkt" >"$WORK/expected.txt" <<'EOF'
import os, sys
root = sys.argv[1]
# Ten folders of five each: 60 folders, the files in the 50 inner ones.
for number in range(1000):
    folder = os.path.join(root, "Gruppe%d" % (number // 100), "Teil%d" % (number // 20 % 5))
    os.makedirs(folder, exist_ok=True)
    name = os.path.join(folder, "datei%04d.bin" % number)
    with open(name, "wb") as out:
        out.write(os.urandom(1024 + number * 7919 % 15361))
    print(os.path.relpath(name, root), os.path.getsize(name))
EOF
for folder in updater product; do
    [ $folder = updater ] && served=Quennvoldar || served=Produkt
    "$release_tool" sign "$ROOT/tests/keys/test-release.secret" --product "$product" \
        --folder $folder "$WORK/server/$served" >/dev/null
done

# ---- Measuring ----

# Its seconds land in times/, the processor seconds of all it started
# (servers and proxy included) in cpu/.
one_run() {  # client rtt run-number
    /usr/bin/time -f '%U %S' -o "$WORK/cpu/$2.$1.$3" \
        "${isolated[@]}" "$HERE/one_run.sh" "$WORK" "$1" "$2" >"$WORK/times/$2.$1.$3"
}

declare -A BUSY
for rtt in "${RTTS[@]}"; do
    if [ "$rtt" -lt "$SIDE_BY_SIDE_MS" ]; then
        for client in "${CLIENTS[@]}"; do
            echo "round trip $rtt ms: ${LABEL[$client]}, $RUNS runs ..." >&2
            for run in $(seq "$RUNS"); do one_run "$client" "$rtt" "$run"; done
        done
    else
        echo "round trip $rtt ms: all clients, $RUNS runs each, side by side ..." >&2
        started=$(date +%s%N)
        pids=()
        for client in "${CLIENTS[@]}"; do
            for run in $(seq "$RUNS"); do
                one_run "$client" "$rtt" "$run" &
                pids+=($!)
            done
        done
        for pid in "${pids[@]}"; do wait "$pid"; done
        BUSY[$rtt]=$(cat "$WORK/cpu/$rtt."* |
            awk -v ns=$(( $(date +%s%N) - started )) -v cores="$(nproc)" \
                '{ used += $1 + $2 } END { printf "%.0f", 100 * used / (ns / 1e9 * cores) }')
    fi
done

median() {  # client rtt
    cat "$WORK/times/$2.$1."* | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

# ---- Report ----

echo
echo "Update over a delayed link: 1000 files (1-16 KiB) in 50 of 60 folders;"
echo "median of $RUNS runs in seconds (ratio to the best peer at that round trip)"
printf '%-28s' "round trip"
for rtt in "${RTTS[@]}"; do printf '%18s' "$rtt ms"; done
echo
for client in "${CLIENTS[@]}"; do
    printf '%-28s' "${LABEL[$client]}"
    for rtt in "${RTTS[@]}"; do
        best=$(for peer in "${PEERS[@]}"; do median "$peer" "$rtt"; done | sort -g | head -n1)
        awk -v s="$(median "$client" "$rtt")" -v b="$best" \
            'BEGIN { printf "%10.2f (%4.2f)", s, s / b }'
    done
    echo
done
for rtt in "${RTTS[@]}"; do
    if [ -n "${BUSY[$rtt]:-}" ]; then
        echo "At $rtt ms the runs went side by side, using ${BUSY[$rtt]} % of the processors."
    fi
done
