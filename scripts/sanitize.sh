#!/usr/bin/env bash
# Builds the sanitize preset (AddressSanitizer and UBSan, every target) and
# runs the unit tests under it; any memory error, leak or undefined
# behaviour fails the test it happens in. Extra arguments go to ctest, e.g.
# scripts/sanitize.sh -R LoadConfig.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset sanitize > /dev/null
cmake --build --preset sanitize
ctest --preset sanitize -j2 -E '^integration\.' "$@"
