#!/bin/bash
# Hash benchmark (prints figures, asserts nothing): SHA-256 throughput of the
# program's hash and of libsodium's portable one over the same 512 MiB buffer.
#
#   bench/hash/run.sh [BUILD_DIR]     default: build/bench (configured here)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT"  # the presets live here
BUILD=${1:-$ROOT/build/bench}
MIB=512
RUNS=3

if [ ! -x "$BUILD/bench/hash/qv_bench_hash" ] || [ -z "${1:-}" ]; then
    cmake --preset demo -B "$BUILD" >/dev/null
    cmake --build "$BUILD" --target qv_bench_hash -j2 >/dev/null
fi

"$BUILD/bench/hash/qv_bench_hash" $MIB $RUNS
