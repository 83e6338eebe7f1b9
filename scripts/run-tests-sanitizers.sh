#!/usr/bin/env bash
# Builds the console with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole test suite; the first report of either stops the test at once.
#   BUILD_DIR  where to build (default: build-asan)
#   CMAKE_ARGS, BUILD_TYPE, CTEST_ARGS, SKIP_DEPS  as for run-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_init_order=1:check_initialization_order=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"
export BUILD_DIR=${BUILD_DIR:-build-asan}
export CMAKE_ARGS="-DBENCH_CONSOLE_SANITIZE=ON ${CMAKE_ARGS:-}"
exec scripts/run-tests.sh
