#!/bin/bash
# One measured run of the latency benchmark (bench/latency/run.sh prepares
# the data and calls this, in a network namespace of its own when it can):
# starts the FTP and HTTP servers on 127.0.0.2 and the delaying proxy on
# 127.0.0.1, runs one client into a fresh folder, checks that every file
# arrived whole and prints the wall-clock seconds the client took.
#
#   one_run.sh WORK CLIENT RTT_MS
#
# WORK holds server/ (the signed release) and expected.txt (path and size of
# each product file); CLIENT is updater, lftp, lftp-parallel or rclone.
# QV_LATENCY_UPDATER names the updater to run.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$1 CLIENT=$2 RTT=$3
USER_NAME=quennvoldar
PASSWORD=Demo-Pw-2026
SERVER_HOST=127.0.0.2
PROXY_HOST=127.0.0.1
PASSIVE_PORTS=30000-30199

RUN=$(mktemp -d "$WORK/run.XXXXXX")
PIDS=()
source "$HERE/../nginx.sh"
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    stop_nginx
    rm -rf "$RUN"
}
trap cleanup EXIT

# ---- Servers and proxy ----

/usr/bin/python3 "$HERE/ftp_server.py" "$WORK/server" "$SERVER_HOST:2121" "$PASSIVE_PORTS" \
    "$PROXY_HOST" "$USER_NAME" "$PASSWORD" 2>"$RUN/ftp-server.log" &
PIDS+=($!)

start_nginx "$RUN/nginx" "$SERVER_HOST:8080" "location /updates/ { alias $WORK/server/; }" \
    "http://$SERVER_HOST:8080/updates/Quennvoldar/quennvoldar-release.txt"

/usr/bin/python3 "$HERE/delay_proxy.py" --rtt-ms "$RTT" --ready-file "$RUN/proxy.ready" \
    "$PROXY_HOST:2121=$SERVER_HOST:2121" "$PROXY_HOST:8080=$SERVER_HOST:8080" \
    "$PROXY_HOST:$PASSIVE_PORTS=$SERVER_HOST:$PASSIVE_PORTS" &
PIDS+=($!)

# Every server answers before the clock starts.
for _ in $(seq 200); do
    if [ -e "$RUN/proxy.ready" ] && (exec 3<>"/dev/tcp/$SERVER_HOST/2121") 2>/dev/null; then
        break
    fi
    sleep 0.05
done

# ---- The clients ----

# A fresh installation folder, download folder and configuration file; every
# question is answered yes (no main program runs, so none is closed, and the
# one started at the end does nothing).
run_updater() {
    mkdir -p "$RUN/tmp" "$RUN/xdg" "$RUN/share/applications" "$RUN/registry"
    chmod 700 "$RUN/xdg"
    cp "$QV_LATENCY_UPDATER" "$RUN/install/Quennvoldar"
    printf '#!/bin/sh\n' >"$RUN/install/produkt"
    chmod 755 "$RUN/install/produkt"
    printf '%s\r\n' "QvLatencyBench" "QvLatencyBench" "$RUN/install/produkt" "Produkt" \
        "12 Arial" "0 0 16777215" >"$RUN/tmp/Produkt.cfg"
    (yes j || true) | TMPDIR=$RUN/tmp XDG_RUNTIME_DIR=$RUN/xdg XDG_DATA_DIRS=$RUN/share \
        QUENNVOLDAR_REGISTRY_DIR=$RUN/registry "$RUN/install/Quennvoldar" Produkt.cfg \
        >"$RUN/client.log" 2>&1
    grep -q "erfolgreich abgeschlossen" "$RUN/client.log"
}

run_lftp() {  # extra mirror options
    lftp -u "$USER_NAME,$PASSWORD" -p 2121 \
        -e "set cmd:fail-exit yes; set net:max-retries 2; mirror $* /Produkt '$RUN/install'; quit" \
        "$PROXY_HOST" >"$RUN/client.log" 2>&1
}

run_rclone() {
    rclone copy ":ftp:/Produkt" "$RUN/install" --config /dev/null --transfers 4 \
        --ftp-host "$PROXY_HOST" --ftp-port 2121 --ftp-user "$USER_NAME" \
        --ftp-pass "$(rclone obscure "$PASSWORD")" >"$RUN/client.log" 2>&1
}

mkdir -p "$RUN/install"
started=$(date +%s%N)
case $CLIENT in
    updater) run_updater ;;
    lftp) run_lftp ;;
    lftp-parallel) run_lftp --parallel=6 ;;
    rclone) run_rclone ;;
    *) echo "unknown client $CLIENT" >&2; exit 2 ;;
esac || { echo "$CLIENT failed:" >&2; tail -n 20 "$RUN/client.log" >&2; exit 1; }
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))

/usr/bin/python3 - "$RUN/install" "$WORK/expected.txt" "$CLIENT" <<'EOF'
import os, sys
folder, expected, client = sys.argv[1:]
with open(expected) as listing:
    for line in listing:
        name, size = line.rsplit(" ", 1)
        path = os.path.join(folder, name)
        if not os.path.isfile(path) or os.path.getsize(path) != int(size):
            sys.exit("%s: missing or wrong: %s" % (client, path))
EOF
awk -v ms="$elapsed_ms" 'BEGIN { printf "%.3f\n", ms / 1000 }'
