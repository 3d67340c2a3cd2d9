#!/usr/bin/env bash
# Runs a Windows executable under Wine and exits with its exit code.
#
#   [WINEARCH=win32|win64] scripts/wine-run.sh program.exe [args...]
#
# WINEARCH (default win32, the product's) chooses the Wine loader: /usr/bin/wine
# would take the 32-bit one whenever wine32 is installed. Uses a private prefix
# (WINEPREFIX, default ~/.cache/quennvoldar/wineprefix-$WINEARCH), created on
# first use. Without DISPLAY, a private Xvfb is started for the run;
# exporting DISPLAY of a shared Xvfb saves ~2 s per run. Wine's own log is off
# unless WINEDEBUG is set.
# Also serves as CMAKE_CROSSCOMPILING_EMULATOR, so it must never wait on stdin.
set -euo pipefail

if [[ $# -lt 1 ]]; then
    echo "usage: wine-run.sh program.exe [args...]" >&2
    exit 2
fi

export WINEARCH="${WINEARCH:-win32}"
case $WINEARCH in
    win32) loader=/usr/lib/wine/wine ;;
    win64) loader=/usr/lib/wine/wine64 ;;
    *)
        echo "wine-run.sh: WINEARCH must be win32 or win64, not '$WINEARCH'" >&2
        exit 2
        ;;
esac
export WINELOADER=$loader
export WINEPREFIX="${WINEPREFIX:-$HOME/.cache/quennvoldar/wineprefix-$WINEARCH}"
export WINEDEBUG="${WINEDEBUG:--all}"

if ! wine_version=$("$loader" --version 2>&1); then
    echo "wine-run.sh: the $WINEARCH Wine loader $loader cannot run here: $wine_version" >&2
    if [[ $WINEARCH == win32 ]]; then
        echo "wine-run.sh: this kernel runs no 32-bit programs; test the x86_64 build (QUENNVOLDAR_WINDOWS_ARCH=x86_64)" >&2
    fi
    exit 126
fi

# A closed stdin would let Wine hand fd 0 to the first file it opens.
if ! { true <&0; } 2>/dev/null; then
    exec </dev/null
fi

source "$(dirname "${BASH_SOURCE[0]}")/private-display.sh"
# shellcheck disable=SC2317 # called through the EXIT trap
cleanup() {
    # Wine processes of this run may still talk to the display.
    [[ -z $private_display_pid ]] || wineserver -w || true
    stop_private_display
}
trap cleanup EXIT

if [[ -z ${DISPLAY:-} ]]; then
    start_private_display wine-run.sh || exit 1
fi

# Creates or updates the prefix once per Wine version; the lock keeps
# parallel test runs from initialising it twice.
ready_stamp="$WINEPREFIX/.quennvoldar-ready"
mkdir -p "$(dirname "$WINEPREFIX")"
{
    flock 9
    if [[ ! -f $ready_stamp || $(<"$ready_stamp") != "$wine_version" ]]; then
        # Empty overrides skip the Mono and Gecko install dialogs, which would
        # block forever on a headless display.
        if ! init_log=$(WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
            "$loader" wineboot --init 2>&1 && wineserver -w 2>&1); then
            echo "wine-run.sh: creating $WINEPREFIX failed:" >&2
            echo "$init_log" >&2
            exit 1
        fi
        echo "$wine_version" >"$ready_stamp"
    fi
} 9>"$WINEPREFIX.lock"

status=0
"$loader" "$@" || status=$?
exit "$status"
