#!/usr/bin/env bash
# Runs every benchmark and prints its figures next to those of the standard
# tools measured in the same run. Not a test: nothing here asserts a time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
bench/download/run.sh
bench/install/run.sh
bench/update/run.sh
bench/hash/run.sh
bench/latency/run.sh
bench/answer/run.py
