#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time,
# starting from a scratch copy of its seed corpus so that nothing found is ever
# written into the repository. Fails when any target crashes, trips a sanitizer
# or breaks one of the properties it checks.
#   FUZZ_SECONDS  time per target (default: 60)
#   BUILD_DIR     where to build (default: build-fuzz)
#   CI=true       warnings are errors
#   SKIP_DEPS=1   do not look for missing apt packages
#   --install-deps  first install with apt whatever this machine lacks
# Logs and the input of any failure are kept in $BUILD_DIR/fuzz-runs/.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/presets.sh
source scripts/lib/deps.sh
require_deps --extra "$@"
build_dir=${BUILD_DIR:-$(preset_dir fuzz)}
seconds=${FUZZ_SECONDS:-60}

# Target and the longest input worth trying: a few hundred reads of the port,
# a page of typed text, a register field, eight ports, a 4 KiB image.
targets=(
    fuzz_telemetry:4096
    fuzz_hexinput:1024
    fuzz_registerfield:64
    fuzz_portlisting:1024
    fuzz_flashpackets:4096
)

cmake --preset fuzz -B "$build_dir" "$(warnings_option)"
# Only the fuzz targets: nothing else of the tree is needed here.
cmake --build "$build_dir" --parallel 2 --target "${targets[@]%%:*}"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_init_order=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
runs_dir="$build_dir/fuzz-runs"
rm -rf "$runs_dir"
mkdir -p "$runs_dir"

summaries=()
passed=0
failed=0
for entry in "${targets[@]}"; do
    target=${entry%%:*}
    max_len=${entry##*:}
    corpus="$scratch/$target"
    mkdir -p "$corpus" "$runs_dir/$target"
    cp fuzz/corpus/"$target"/* "$corpus"/
    log="$runs_dir/$target.log"

    printf '\n---- %s: %s s, inputs up to %s bytes\n' "$target" "$seconds" "$max_len"
    status=0
    "$build_dir/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$runs_dir/$target/" \
        "$corpus" >"$log" 2>&1 || status=$?

    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
    found=$(find "$corpus" -type f | wc -l)
    if [[ $status -eq 0 ]]; then
        passed=$((passed + 1))
        summary="$target: passed, ${executed:-?} inputs in $seconds s, ${coverage:-?} edges covered, corpus grew to $found inputs"
    else
        failed=$((failed + 1))
        summary="$target: FAILED (exit $status) after ${executed:-?} inputs, log in $log"
        # What went wrong and the input that did it, so that a CI log alone
        # is enough to reproduce it.
        grep -E -m 5 'property violated|ERROR: |runtime error|SUMMARY' "$log" || tail -n 30 "$log"
        for artifact in "$runs_dir/$target"/*; do
            [[ -f "$artifact" ]] || continue
            echo "input ($(stat -c %s "$artifact") bytes), saved as $artifact:"
            od -An -tx1 -v "$artifact" | head -n 32
        done
    fi
    echo "$summary"
    summaries+=("$summary")
done

printf '\n---- fuzz summary\n'
printf '%s\n' "${summaries[@]}"
echo "fuzzers: $passed passed, $failed failed"
((failed == 0))
