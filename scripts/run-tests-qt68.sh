#!/usr/bin/env bash
# Builds the console and runs its whole test suite against Debian 13's Qt 6.8,
# in a Debian 13 "trixie" root, so the code stays good on 6.7+ while this
# machine itself has Qt 6.4. The root, with the packages install-deps.sh
# names, is cached and reused while that list does not change.
#   SOURCE_DIR     tree to build (default: this repository)
#   BUILD_DIR      build folder in that tree (default: build-qt68, apart from the host's)
#   QT68_ROOT      where the root lives (default: /var/cache/bench-console/trixie-root)
#   DEBIAN_MIRROR  as for scripts/lib/chroot.sh
#   CI, CMAKE_ARGS, BUILD_TYPE, CTEST_ARGS  passed on to run-tests.sh
#   --install-deps install what this machine lacks for it (debootstrap, the keyring)
# Needs root: debootstrap, mounts and chroot.
set -euo pipefail

scripts_dir=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib/chroot.sh
source "$scripts_dir/lib/chroot.sh"
# shellcheck source=lib/deps.sh
source "$scripts_dir/lib/deps.sh"
die() { echo "run-tests-qt68: $*" >&2; exit 1; }

source_dir=$(cd "${SOURCE_DIR:-$scripts_dir/..}" && pwd)
root=${QT68_ROOT:-/var/cache/bench-console/trixie-root}
build_dir=${BUILD_DIR:-build-qt68}

[[ $(id -u) -eq 0 ]] || die "must run as root (debootstrap and chroot need it)"
chroot_isolate "$@"
require_deps --extra "$@"

chroot_lock "$root"
chroot_make "$root" trixie --with-deps
chroot_enter "$root"
# xvfb-run is what the OpenGL and screenshot tests run under: prove it works.
chroot_run "$root" xvfb-run -a sh -c 'test -n "$DISPLAY"' || die "xvfb-run does not work inside $root"
chroot_bind "$root" "$source_dir" /src

echo "run-tests-qt68: $source_dir as /src in $root, building into $build_dir"
echo "run-tests-qt68: root has qt6-base-dev $(chroot_run "$root" dpkg-query -W -f='${Version}' qt6-base-dev)"

status=0
chroot_run "$root" CI="${CI:-}" BUILD_DIR="$build_dir" CMAKE_ARGS="${CMAKE_ARGS:-}" \
    BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" CTEST_ARGS="${CTEST_ARGS:-}" \
    /src/scripts/run-tests.sh </dev/null || status=$?

# The Qt that CMake actually found, read back from the configured build.
qt_dir=$(sed -n 's/^Qt6_DIR:PATH=//p' "$source_dir/$build_dir/CMakeCache.txt" 2>/dev/null || true)
qt_version=$(cat "$root$qt_dir"/Qt6ConfigVersion*.cmake 2>/dev/null | sed -n 's/^set(PACKAGE_VERSION "\([0-9.]*\)")$/\1/p' | head -n 1 || true)
echo "run-tests-qt68: CMake found Qt ${qt_version:-(unknown)} in ${qt_dir:-(not configured)}"
exit "$status"
