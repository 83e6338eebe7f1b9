#!/usr/bin/env bash
# Builds the console with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole test suite; the first report of either fails the test at once.
#   BUILD_DIR  where to build (default: build-asan)
#   CMAKE_ARGS, BUILD_TYPE, CTEST_ARGS, SKIP_DEPS  as for run-tests.sh
#
# Leaks are checked, with scripts/lsan.supp naming the system libraries that
# keep memory until exit. Tests run under xvfb-run are the exception: Mesa's
# GL driver is unloaded at exit while its globals still hold allocations, which
# LeakSanitizer then reports from an "<unknown module>" that no suppression can
# name. Those tests run in a second pass with leak checking off and every
# other check on.
set -euo pipefail
cd "$(dirname "$0")/.."

asan_options="halt_on_error=1:abort_on_error=1:strict_init_order=1:check_initialization_order=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
export BUILD_DIR=${BUILD_DIR:-build-asan}
export CMAKE_ARGS="-DBENCH_CONSOLE_SANITIZE=ON ${CMAKE_ARGS:-}"
ctest_args=${CTEST_ARGS:-}

# Configure and build only, then sort the tests CTEST_ARGS selects by whether
# they run under a virtual display.
CTEST_ARGS="-N" scripts/run-tests.sh
# shellcheck disable=SC2086
tests=$(ctest --test-dir "$BUILD_DIR" -N -V $ctest_args | awk '
    /^[0-9]+: Test command: / { display[$1 + 0] = ($0 ~ /xvfb-run/) }
    /^ *Test +#[0-9]+: / {
        number = $2; sub(/^#/, "", number); sub(/:$/, "", number)
        if (display[number + 0]) shown = shown (shown ? "|" : "") $3
        else plain = plain (plain ? "|" : "") $3
    }
    END { print plain; print shown }')
plain_tests=$(sed -n 1p <<<"$tests")
display_tests=$(sed -n 2p <<<"$tests")

# The exact names go last, so they win over any -R of CTEST_ARGS, which has
# already chosen them.
run_pass() {
    local leaks=$1 names=$2
    ASAN_OPTIONS="$asan_options:detect_leaks=$leaks" SKIP_DEPS=1 CTEST_ARGS="$ctest_args -R ^($names)\$" \
        scripts/run-tests.sh
}

status=0
if [[ -z $plain_tests && -z $display_tests ]]; then
    # Let ctest itself say that nothing was selected.
    ASAN_OPTIONS="$asan_options:detect_leaks=1" SKIP_DEPS=1 CTEST_ARGS="$ctest_args" scripts/run-tests.sh || status=$?
fi
if [[ -n $plain_tests ]]; then
    echo "run-tests-sanitizers: with leak checks: ${plain_tests//|/, }"
    run_pass 1 "$plain_tests" || status=$?
fi
if [[ -n $display_tests ]]; then
    echo "run-tests-sanitizers: without leak checks (Mesa under xvfb-run): ${display_tests//|/, }"
    run_pass 0 "$display_tests" || status=$?
fi
exit "$status"
