#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and UBSan) and
# runs every fuzz target for a bounded time, two at a time, then prints the
# executions per target. Usage: scripts/fuzz.sh [seconds per target] [target...]
#
# Each target starts from its checked-in seeds (fuzz/corpus/<target>/), with
# the words of fuzz/dict/<target>.dict where there is one, and grows its own
# corpus in build/fuzz/corpus/<target>/, which later runs reuse.
# A crash, leak, broken property or hang (an input running over 25 s) is saved
# as build/fuzz/artifacts/<target>-<kind>-<hash>; replay it with
#   build/fuzz/fuzz/fuzz_<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift $(($# > 0 ? 1 : 0))
if [[ ! $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "fuzz.sh: seconds must be a positive number, not '$seconds'" >&2
    exit 2
fi
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(list_file config ftp_listing job_lines pe_version release_manifest url_encode
             zip_extract)
fi

cmake --preset fuzz > /dev/null
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}" > /dev/null

out=build/fuzz
mkdir -p "$out/artifacts" "$out/logs"

# Scratch files of the targets stay below the build folder, even after a crash.
scratch=$(mktemp -d "$PWD/$out/tmp.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

run_target() {
    local target=$1
    mkdir -p "$out/corpus/$target" "$scratch/$target"
    # -timeout counts one input; the whole run ends after max_total_time.
    local dict=()
    [[ -f fuzz/dict/$target.dict ]] && dict=(-dict="fuzz/dict/$target.dict")
    TMPDIR=$scratch/$target "$out/fuzz/fuzz_$target" "$out/corpus/$target" "fuzz/corpus/$target" \
        "${dict[@]}" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" \
        > "$out/logs/$target.log" 2>&1
}

# Two targets at a time on two cores.
declare -A pid_of
failed=()
for target in "${targets[@]}"; do
    if [[ ! -x $out/fuzz/fuzz_$target ]]; then
        echo "fuzz.sh: no fuzz target '$target'" >&2
        exit 2
    fi
    while (($(jobs -rp | wc -l) >= 2)); do wait -n || true; done
    run_target "$target" &
    pid_of[$target]=$!
done

status=0
printf '%-12s %14s  %s\n' target executions result
for target in "${targets[@]}"; do
    result=ok
    wait "${pid_of[$target]}" || { result="FAILED, see $out/logs/$target.log"; status=1; }
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/logs/$target.log" | tail -n1)
    printf '%-12s %14s  %s\n' "$target" "${executions:-?}" "$result"
done
exit $status
