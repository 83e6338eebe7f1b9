#!/usr/bin/env bash
# Builds the console with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole test suite; the first report of either fails the test at once.
#   BUILD_DIR, CMAKE_ARGS, BUILD_TYPE, CTEST_ARGS, CI, SKIP_DEPS, --install-deps
#   as for run-tests.sh (the preset is asan: its folder is build-asan)
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
export PRESET=asan
ctest_args=${CTEST_ARGS:-}

# The same build serves both passes; the second finds nothing left to build.
run_pass() {
    local leaks=$1 selection=$2
    # shellcheck disable=SC2086
    ASAN_OPTIONS="$asan_options:detect_leaks=$leaks" CTEST_ARGS="$ctest_args $selection" scripts/run-tests.sh "${@:3}"
}

status=0
echo "run-tests-sanitizers: every test not on a display, with leak checks"
run_pass 1 "-LE display" "$@" || status=$?
echo "run-tests-sanitizers: tests on a virtual display (Mesa under xvfb-run), without leak checks"
SKIP_DEPS=1 run_pass 0 "-L display" "$@" || status=$?
exit "$status"
