#!/usr/bin/env bash
# Fails, naming the files, when any C++ or C source of the repository (build
# folders and third-party code aside) differs from what clang-format makes of
# it with .clang-format. The version is pinned: another one formats
# differently. scripts/install-deps.sh installs it.
#
#   scripts/check-format.sh
set -euo pipefail
cd "$(dirname "$0")/.."

clang_format=clang-format-14

sources=()
while IFS= read -r -d '' file; do
    sources+=("${file#./}")
done < <(find . \( -path ./build -o -path ./.git -o -name third_party -o -name third-party \) -prune \
    -o -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.cc' -o -name '*.hpp' \) \
    -print0 | sort -z)

# One run over all files: a file that differs draws "FILE:LINE:COLUMN: error:
# code should be clang-formatted" lines and a failing exit status.
status=0
report=$("$clang_format" --style=file --dry-run --Werror "${sources[@]}" 2>&1) || status=$?
differing=$(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
    <<<"$report" | sort -u)

if [[ -n $differing ]]; then
    echo "check-format.sh: these files differ from .clang-format ($clang_format -i FILE formats one):" >&2
    sed 's/^/  /' <<<"$differing" >&2
    exit 1
fi
if [[ $status -ne 0 ]]; then
    echo "$report" >&2
    echo "check-format.sh: $clang_format failed" >&2
    exit 1
fi
