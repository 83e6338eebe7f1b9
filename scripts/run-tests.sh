#!/usr/bin/env bash
# Builds the console and runs its whole test suite with ctest.
#   BUILD_DIR   where to build (default: build)
#   CMAKE_ARGS  extra arguments for the configure step
#   SKIP_DEPS=1 do not look for missing apt packages (used inside prepared roots)
set -euo pipefail
cd "$(dirname "$0")/.."

[[ "${SKIP_DEPS:-0}" == 1 ]] || scripts/install-deps.sh
build_dir=${BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${CMAKE_ARGS:-}
cmake --build "$build_dir" --parallel "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure --timeout 600 ${CTEST_ARGS:-}
