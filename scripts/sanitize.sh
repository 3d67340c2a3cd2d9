#!/usr/bin/env bash
# Builds the sanitize preset (AddressSanitizer and UBSan, every target) and
# runs the unit tests under it: any memory error, leak or undefined
# behaviour fails the test it happens in. With --all the process tests of
# the real executables run as well; some of them wait on timings that the
# slower sanitized build can miss.
set -euo pipefail
cd "$(dirname "$0")/.."

only_unit=(-E '^integration\.') targets=(--target qv_tests)
if [[ ${1:-} == --all ]]; then
    only_unit=() targets=()
elif [[ $# -gt 0 ]]; then
    echo "usage: scripts/sanitize.sh [--all]" >&2
    exit 2
fi

cmake --preset sanitize > /dev/null
cmake --build --preset sanitize "${targets[@]}"
ctest --preset sanitize -j2 "${only_unit[@]}"
