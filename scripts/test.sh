#!/usr/bin/env bash
# Runs every test on a fresh Debian 12 as root: installs what is missing,
# builds and tests the native program, then cross-builds the Windows product
# and runs its tests under Wine on a private X display.
set -euo pipefail
cd "$(dirname "$0")/.."

# ---- Native ----
scripts/install-deps.sh
cmake --preset dev > /dev/null
cmake --build --preset dev
ctest --preset dev -j2

# ---- Sanitizers and a short fuzzing pass over every parser of outside input ----
scripts/sanitize.sh
scripts/fuzz.sh 5

# ---- Windows, under Wine ----
scripts/install-windows-toolchain.sh
scripts/build-windows-deps.sh > /dev/null
cmake --preset windows-demo > /dev/null
cmake --build --preset windows-demo

# One display for all Wine runs; each would otherwise start its own.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -nolisten tcp -screen 0 1280x1024x24 > /dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2> /dev/null || true' EXIT
DISPLAY=$display ctest --preset windows-demo -j2
