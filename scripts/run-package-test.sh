#!/usr/bin/env bash
# Makes the Debian package, installs it with apt into a fresh minimal Debian 12
# root, as a bench engineer would on a new machine, and checks there that the
# installed console starts and stays up, that board-sim answers --help and
# bench-ctl its version and list, and that lintian finds no error in the package.
# The debootstrapped base is cached; every run installs into a new copy of it
# in memory, so the package's dependencies are always resolved from scratch.
# Packages apt downloaded are kept beside the base for the next run.
#   PACKAGE_TEST_BASE  the cached base (default: /var/cache/bench-console/bookworm-base)
#   DEBIAN_MIRROR      as for scripts/lib/chroot.sh
#   BUILD_DIR, BUILD_TYPE, CMAKE_ARGS, CI  passed on to make-package.sh
#   --install-deps     install what this machine lacks for it
# Needs root: debootstrap, mounts and chroot.
set -euo pipefail

scripts_dir=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib/chroot.sh
source "$scripts_dir/lib/chroot.sh"
# shellcheck source=lib/deps.sh
source "$scripts_dir/lib/deps.sh"
die() { echo "run-package-test: $*" >&2; exit 1; }

base=${PACKAGE_TEST_BASE:-/var/cache/bench-console/bookworm-base}
downloads=$base-debs
started=$SECONDS

[[ $(id -u) -eq 0 ]] || die "must run as root (debootstrap and chroot need it)"
# The fresh root and its mounts vanish with this script however it ends.
chroot_isolate "$@"
require_deps --package "$@"

desktop-file-validate "$scripts_dir/../packaging/bench-console.desktop" || die "the desktop entry is not valid"
package=$(SKIP_DEPS=1 "$scripts_dir/make-package.sh" | tail -n 1)
echo "run-package-test: package made at $((SECONDS - started)) s"
[[ -f $package ]] || die "make-package.sh made no package"
depends=$(dpkg-deb -f "$package" Depends)
[[ $depends == *libqt6widgets6* && $depends == *libqt6serialport6* ]] \
    || die "the package's dependencies were not read off its binaries: '$depends'"

# Debian policy, checked on the package itself: lintian must report no error.
if command -v lintian >/dev/null; then
    lintian_report=$(lintian "$package" 2>&1) || true
    if grep -q '^E:' <<<"$lintian_report"; then
        echo "$lintian_report" >&2
        die "lintian reports errors on the package"
    fi
    echo "run-package-test: lintian reports no error${lintian_report:+ (warnings: $(grep -c '^W:' <<<"$lintian_report"))}"
else
    die "lintian is not installed: scripts/install-deps.sh --package"
fi

chroot_lock "$base"
chroot_make "$base" bookworm

root=$base.run
mkdir -p "$root" "$downloads"
mount -t tmpfs -o mode=755 bench-console-package "$root"
cp -a --one-file-system "$base/." "$root/"
chroot_enter "$root"
chroot_bind "$root" "$downloads" /var/cache/apt/archives
# "apt install" deletes what it downloaded unless told to keep it, and the copy
# goes with the run, so dpkg need not sync every file it unpacks.
echo 'Binary::apt::APT::Keep-Downloaded-Packages "true";' > "$root/etc/apt/apt.conf.d/99keep-downloads"
echo force-unsafe-io > "$root/etc/dpkg/dpkg.cfg.d/unsafe-io"
cp "$package" "$root/tmp/"

echo "run-package-test: installing $(basename "$package") into a fresh copy of $base"
chroot_run "$root" apt-get update -q
chroot_run "$root" sh -c 'cd /tmp && apt install -y -q ./bench-console_*.deb'
echo "run-package-test: installed at $((SECONDS - started)) s"

status=0
chroot_run "$root" sh -c '
    set -u
    fail() { echo "run-package-test: $*" >&2; exit 1; }
    for file in /usr/bin/bench-console /usr/bin/bench-ctl /usr/bin/board-sim /usr/share/applications/bench-console.desktop \
            /usr/share/icons/hicolor/scalable/apps/bench-console.svg; do
        test -f "$file" || fail "$file is not installed"
    done
    missing=$(ldd /usr/bin/bench-console /usr/bin/bench-ctl /usr/bin/board-sim | grep "not found") && fail "missing libraries: $missing"

    QT_QPA_PLATFORM=offscreen bench-console >/tmp/bench-console.log 2>&1 &
    console=$!
    sleep 5
    if ! kill -0 "$console" 2>/dev/null; then
        wait "$console"; code=$?
        cat /tmp/bench-console.log >&2
        fail "bench-console exited within 5 s (status $code)"
    fi
    kill "$console"
    echo "run-package-test: bench-console was still running after 5 s"

    board-sim --help >/tmp/board-sim-help.txt 2>&1 || { cat /tmp/board-sim-help.txt >&2; fail "board-sim --help failed"; }
    grep -q "^Usage: board-sim" /tmp/board-sim-help.txt && grep -q -- "--device" /tmp/board-sim-help.txt \
        || { cat /tmp/board-sim-help.txt >&2; fail "board-sim --help printed no usage"; }
    echo "run-package-test: board-sim --help printed its usage"

    # bench-ctl: runs without a display, answers its version and lists ports;
    # the copyright file Debian policy asks for is there.
    test -f /usr/share/doc/bench-console/copyright || fail "the copyright file is not installed"
    version=$(bench-ctl --version) && [ "$version" = "bench-ctl $(dpkg-query -W -f="\${Version}" bench-console)" ] \
        || fail "bench-ctl --version printed: $version"
    bench-ctl list >/tmp/bench-ctl-list.txt 2>&1 || { cat /tmp/bench-ctl-list.txt >&2; fail "bench-ctl list failed"; }
    echo "run-package-test: bench-ctl --version and bench-ctl list answered"
' || status=$?

echo "run-package-test: $([[ $status -eq 0 ]] && echo passed || echo FAILED) in $((SECONDS - started)) s"
exit "$status"
