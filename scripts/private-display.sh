# Sourced by the scripts that show windows: a private Xvfb screen.
#
#   start_private_display NAME   starts it, exports DISPLAY; on failure prints
#                                Xvfb's own words after "NAME: " and returns 1
#   stop_private_display         ends it (nothing when none was started)

private_display_pid=
private_display_files=()

start_private_display() {
    local display_file xvfb_log
    display_file=$(mktemp)
    xvfb_log=$(mktemp)
    private_display_files=("$display_file" "$xvfb_log")
    # Xvfb picks a free display itself and writes its number to fd 3.
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
        3> "$display_file" < /dev/null > "$xvfb_log" 2>&1 &
    private_display_pid=$!
    for ((tries = 0; tries < 300; tries++)); do
        [[ -s $display_file ]] && break
        kill -0 "$private_display_pid" 2> /dev/null || break
        sleep 0.1
    done
    if [[ ! -s $display_file ]]; then
        echo "$1: Xvfb did not start:" >&2
        cat "$xvfb_log" >&2
        return 1
    fi
    export DISPLAY=":$(head -n1 "$display_file")"
}

stop_private_display() {
    if [[ -n $private_display_pid ]]; then
        kill "$private_display_pid" 2> /dev/null || true
        wait "$private_display_pid" 2> /dev/null || true
    fi
    rm -f "${private_display_files[@]}"
}
