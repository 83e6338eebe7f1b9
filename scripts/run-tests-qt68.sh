#!/usr/bin/env bash
# Builds the console and runs its whole test suite against Debian 13's Qt 6.8,
# inside the chroot that qt68-root.sh keeps, so the code stays good on 6.7+
# while this machine itself has Qt 6.4.
#   SOURCE_DIR  tree to build (default: this repository)
#   BUILD_DIR   build folder in that tree (default: build-qt68, apart from the host's)
#   QT68_ROOT   as for qt68-root.sh
#   CMAKE_ARGS, BUILD_TYPE, CTEST_ARGS  passed on to run-tests.sh
# Needs root: it mounts into the chroot.
set -euo pipefail

scripts_dir=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "${SOURCE_DIR:-$scripts_dir/..}" && pwd)
root=${QT68_ROOT:-/var/cache/bench-console/trixie-root}
build_dir=${BUILD_DIR:-build-qt68}

[[ $(id -u) -eq 0 ]] || { echo "run-tests-qt68: must run as root" >&2; exit 1; }

# Mounts made in a private mount namespace go away with this script however
# it ends; the trap below still undoes them in order on every exit.
if [[ ${BENCH_CONSOLE_QT68_NAMESPACE:-0} != 1 ]]; then
    exec unshare --mount --propagation private -- \
        env BENCH_CONSOLE_QT68_NAMESPACE=1 bash "$0" "$@"
fi

mounted=()
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount --lazy "${mounted[i]}"
    done
    mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# One run at a time per root, and qt68-root.sh must not rebuild it under us.
mkdir -p "$(dirname "$root")"
exec {lock_fd}>"$root.lock"
flock "$lock_fd"
BENCH_CONSOLE_QT68_LOCKED=1 QT68_ROOT=$root "$scripts_dir/qt68-root.sh"

bind() {
    mkdir -p "$root$2"
    mount --bind "$1" "$root$2"
    mounted+=("$root$2")
}
bind /dev /dev
bind /dev/pts /dev/pts
! mountpoint -q /dev/shm || bind /dev/shm /dev/shm
bind /proc /proc
bind /sys /sys
bind "$source_dir" /src
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

echo "run-tests-qt68: $source_dir as /src in $root, building into $build_dir"
echo "run-tests-qt68: root has qt6-base-dev $(chroot "$root" dpkg-query -W -f='${Version}' qt6-base-dev)"

status=0
chroot "$root" /usr/bin/env -i \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" \
    SKIP_DEPS=1 BUILD_DIR="$build_dir" \
    CMAKE_ARGS="${CMAKE_ARGS:-}" BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" CTEST_ARGS="${CTEST_ARGS:-}" \
    /src/scripts/run-tests.sh </dev/null || status=$?

# The Qt that CMake actually found, read back from the configured build.
qt_dir=$(sed -n 's/^Qt6_DIR:PATH=//p' "$source_dir/$build_dir/CMakeCache.txt" 2>/dev/null || true)
qt_version=$(cat "$root$qt_dir"/Qt6ConfigVersion*.cmake 2>/dev/null | sed -n 's/^set(PACKAGE_VERSION "\([0-9.]*\)")$/\1/p' | head -n 1 || true)
echo "run-tests-qt68: CMake found Qt ${qt_version:-(unknown)} in ${qt_dir:-(not configured)}"
exit "$status"
