#!/usr/bin/env bash
# Runs every test on a fresh Debian 12: installs what is missing, builds the
# native dev preset and runs its unit and integration tests.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset dev > /dev/null
cmake --build --preset dev
ctest --preset dev -j2
