#!/usr/bin/env bash
# Builds the console and runs its whole test suite with ctest.
#   --install-deps  first install with apt whatever this machine lacks
#   PRESET      configure preset from CMakePresets.json (default: default)
#   BUILD_DIR   where to build (default: the preset's folder)
#   BUILD_TYPE  overrides the preset's build type
#   CMAKE_ARGS  extra arguments for the configure step
#   CTEST_ARGS  extra arguments for ctest (-L unit runs one kind of test)
#   CI=true     warnings are errors
#   SKIP_DEPS=1 do not look for missing apt packages
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/presets.sh
source scripts/lib/deps.sh
require_deps "" "$@"
preset=${PRESET:-default}
build_dir=${BUILD_DIR:-$(preset_dir "$preset")}
# shellcheck disable=SC2086
cmake --preset "$preset" -B "$build_dir" "$(warnings_option)" ${BUILD_TYPE:+-DCMAKE_BUILD_TYPE=$BUILD_TYPE} ${CMAKE_ARGS:-}
cmake --build "$build_dir" --parallel "$(nproc)"
# shellcheck disable=SC2086
ctest --test-dir "$build_dir" --output-on-failure --timeout 600 ${CTEST_ARGS:-}
