#!/bin/sh
# Start the test update server in the background and stop it again, by pid file.
#   update-server.sh start RUN_DIR FOLDER [update_server.py options...]
#   update-server.sh stop RUN_DIR
# RUN_DIR receives server.pid, ready.json (pid and ports), events.jsonl (unless
# --log is given) and stderr.txt. Fixed ports that another run on this machine
# still holds are waited out for a while.
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
SERVER="$HERE/update_server.py"
PYTHON=/usr/bin/python3
READY_STEPS=600   # x 0.1 s: how long start waits for both servers (and signing)
STOP_STEPS=100    # x 0.1 s: how long stop waits before SIGKILL
PORT_WAIT_STEPS=240  # x 0.5 s: how long start waits for taken ports

usage() {
    echo "usage: $0 start RUN_DIR FOLDER [server options...] | stop RUN_DIR" >&2
    exit 2
}

# True if PID is alive and is our server, so a recycled pid is never signalled.
is_our_server() {
    [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q "update_server.py"
}

start() {
    run_dir=$1; shift
    [ $# -ge 1 ] || usage
    mkdir -p "$run_dir"
    run_dir=$(cd "$run_dir" && pwd)
    if [ -f "$run_dir/server.pid" ] && is_our_server "$(cat "$run_dir/server.pid")"; then
        echo "update-server: already running (pid $(cat "$run_dir/server.pid"))" >&2
        exit 1
    fi
    attempts=0
    until launch "$run_dir" "$@"; do
        attempts=$((attempts + 1))
        if ! grep -q "Address already in use" "$run_dir/stderr.txt" \
            || [ "$attempts" -ge "$PORT_WAIT_STEPS" ]; then
            echo "update-server: server exited during start-up:" >&2
            cat "$run_dir/stderr.txt" >&2
            exit 1
        fi
        sleep 0.5
    done
}

# One start of the server; false when it exited before it was ready.
launch() {
    run_dir=$1; shift
    rm -f "$run_dir/ready.json"
    # --log first so a caller's own --log wins; --ready-file last so ours does.
    folder=$1; shift
    "$PYTHON" "$SERVER" "$folder" --log "$run_dir/events.jsonl" "$@" \
        --ready-file "$run_dir/ready.json" </dev/null >/dev/null 2>"$run_dir/stderr.txt" &
    pid=$!
    echo "$pid" >"$run_dir/server.pid"
    ready_steps=0
    while [ ! -f "$run_dir/ready.json" ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            rm -f "$run_dir/server.pid"
            return 1
        fi
        ready_steps=$((ready_steps + 1))
        if [ "$ready_steps" -gt "$READY_STEPS" ]; then
            echo "update-server: not ready in time, stopping it" >&2
            cat "$run_dir/stderr.txt" >&2
            stop "$run_dir"
            exit 1
        fi
        sleep 0.1
    done
}

stop() {
    run_dir=$1
    [ -f "$run_dir/server.pid" ] || return 0
    pid=$(cat "$run_dir/server.pid")
    if is_our_server "$pid"; then
        kill -TERM "$pid"
        steps=0
        while is_our_server "$pid" && [ "$steps" -lt "$STOP_STEPS" ]; do
            steps=$((steps + 1))
            sleep 0.1
        done
        if is_our_server "$pid"; then
            echo "update-server: pid $pid ignored SIGTERM, killing it" >&2
            kill -KILL "$pid"
        fi
    fi
    rm -f "$run_dir/server.pid"
}

[ $# -ge 2 ] || usage
command=$1; shift
case "$command" in
    start) start "$@" ;;
    stop) stop "$1" ;;
    *) usage ;;
esac
