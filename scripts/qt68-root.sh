#!/usr/bin/env bash
# Makes, or brings up to date, a Debian 13 "trixie" root whose Qt 6.8 the
# console is built and tested against (see run-tests-qt68.sh). The root is
# cached: a complete one whose package list has not changed is reused as is.
#   QT68_ROOT    where the root lives (default: /var/cache/bench-console/trixie-root)
#   QT68_MIRROR  Debian mirror to use (default: the one this machine's apt uses)
# Needs root, debootstrap and a keyring that knows trixie's release keys.
set -euo pipefail

root=${QT68_ROOT:-/var/cache/bench-console/trixie-root}
suite=trixie
packages=(
    build-essential cmake ninja-build
    qt6-base-dev qt6-charts-dev qt6-serialport-dev libgl-dev
    xvfb xauth
)
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
stamp=$root/.bench-console-root
stamp_text="suite=$suite
packages=${packages[*]}"

die() { echo "qt68-root: $*" >&2; exit 1; }

[[ $(id -u) -eq 0 ]] || die "must run as root (debootstrap and chroot need it)"
command -v debootstrap >/dev/null || die "debootstrap is missing: run scripts/install-deps.sh --extra"

# shellcheck source=debian-root.sh
source "$(dirname "$0")/debian-root.sh"

mirror=${QT68_MIRROR:-$(host_mirror)}
[[ -n $mirror ]] || die "no Debian mirror found in this machine's apt sources; set QT68_MIRROR"

# Debian 12's debian-archive-keyring carries trixie's keys from 2023.3+deb12u1
# on; an older one is brought up to date from this machine's own, already
# trusted, archive rather than by taking a key from the mirror on trust.
if [[ ! -e /usr/share/keyrings/debian-archive-trixie-stable.gpg ]]; then
    echo "qt68-root: the archive keyring lacks trixie's keys, updating debian-archive-keyring"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q debian-archive-keyring
    [[ -e /usr/share/keyrings/debian-archive-trixie-stable.gpg ]] \
        || die "debian-archive-keyring on this machine still lacks trixie's keys"
fi

mkdir -p "$(dirname "$root")"
exec {lock_fd}>"$root.lock"
# run-tests-qt68.sh already holds the lock and keeps it while it uses the root.
[[ ${BENCH_CONSOLE_QT68_LOCKED:-0} == 1 ]] || flock "$lock_fd"

if [[ -f $stamp && $(<"$stamp") == "$stamp_text" ]]; then
    echo "qt68-root: reusing $root"
    exit 0
fi

started=$SECONDS
if [[ -d $root && ( -d $root/debootstrap || ! -x $root/usr/bin/apt-get ) ]]; then
    # debootstrap removes its own folder when it finishes: this one did not.
    echo "qt68-root: removing the unfinished root in $root"
    remove_tree "$root"
fi
if [[ ! -d $root ]]; then
    [[ ! -e $root.new ]] || echo "qt68-root: removing the unfinished root in $root.new"
    remove_tree "$root.new"
    echo "qt68-root: debootstrap $suite from $mirror into $root"
    debootstrap --variant=minbase --keyring="$keyring" "$suite" "$root.new" "$mirror"
    mv "$root.new" "$root"
fi

write_apt_config "$root" "$mirror" "$suite"
echo "qt68-root: installing ${packages[*]}"
in_root "$root" dpkg --configure -a
in_root "$root" apt-get update -q
in_root "$root" apt-get install -y -q "${packages[@]}"
in_root "$root" apt-get clean

# xvfb-run is what the OpenGL and screenshot tests run under: prove it works.
in_root "$root" xvfb-run -a sh -c 'test -n "$DISPLAY"' || die "xvfb-run does not work inside $root"

printf '%s\n' "$stamp_text" > "$stamp"
echo "qt68-root: $root ready in $((SECONDS - started)) s ($(in_root "$root" dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/^/Qt /'))"
