#!/usr/bin/env bash
# Builds the console, bench-ctl and board-sim and makes the Debian package with CPack.
# The package's path is the last line printed; install it with
#   sudo apt install ./bench-console_*.deb
#   PRESET      configure preset (default: default; its folder is build)
#   BUILD_DIR   where to build (default: the preset's folder)
#   BUILD_TYPE  overrides the preset's build type (the packaged binaries are stripped)
#   CMAKE_ARGS  extra arguments for the configure step
#   CI=true     warnings are errors
#   SKIP_DEPS=1 do not look for missing apt packages
#   --install-deps  first install with apt whatever this machine lacks
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/presets.sh
source scripts/lib/deps.sh
require_deps --package "$@" >&2
preset=${PRESET:-default}
build_dir=${BUILD_DIR:-$(preset_dir "$preset")}
# shellcheck disable=SC2086
cmake --preset "$preset" -B "$build_dir" "$(warnings_option)" ${BUILD_TYPE:+-DCMAKE_BUILD_TYPE=$BUILD_TYPE} ${CMAKE_ARGS:-} >&2
# CPack installs what is built and builds nothing itself.
cmake --build "$build_dir" --parallel "$(nproc)" --target bench-console bench-ctl board-sim >&2
rm -f "$build_dir"/bench-console_*.deb
(cd "$build_dir" && cpack -G DEB) >&2
package=$(ls "$(cd "$build_dir" && pwd)"/bench-console_*.deb)
echo "make-package: $package depends on: $(dpkg-deb -f "$package" Depends)" >&2
echo "$package"
