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

# The first non-security Debian archive in this machine's apt sources, so the
# root is fetched from wherever this machine is allowed to fetch packages.
host_mirror() {
    local sources=/etc/apt/sources.list.d/debian.sources list=/etc/apt/sources.list
    if [[ -r $sources ]]; then
        awk '
            function flush() {
                if (!found && uri != "" && types ~ /(^| )deb( |$)/ && suites ~ /(^| )[a-z]+( |$)/) {
                    print uri; found = 1
                }
                uri = ""; types = ""; suites = ""
            }
            /^[ \t]*$/ { flush(); next }
            /^[ \t]*#/ { next }
            tolower($1) == "uris:"   { uri = $2 }
            tolower($1) == "types:"  { $1 = ""; types = $0 " " }
            tolower($1) == "suites:" { $1 = ""; suites = $0 " " }
            END { flush() }
        ' "$sources"
    elif [[ -r $list ]]; then
        # "deb [options] URI suite components", skipping the security archive.
        sed -E -n 's/^[ \t]*deb[ \t]+(\[[^]]*\][ \t]+)?([^ \t]+)[ \t]+([a-z]+)[ \t].*/\2/p' "$list" | head -n 1
    fi
}

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

in_root() {
    # A private mount namespace: /proc and /dev vanish with the command, even
    # if it is killed, so nothing stays mounted inside the cached root.
    unshare --mount --propagation private -- sh -c '
        root=$1; shift
        mount -t proc proc "$root/proc"
        mount --bind /dev "$root/dev"
        mount --bind /dev/pts "$root/dev/pts"
        exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
            HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
    ' in-root "$root" "$@"
}

# Removes an unfinished root, refusing while anything is mounted below it:
# rm would go through a bind mount into the tree mounted there.
remove_tree() {
    local tree=$1
    [[ -e $tree ]] || return 0
    if findmnt -rn -o TARGET | awk -v tree="$tree" 'index($0, tree "/") == 1 { found = 1 } END { exit !found }'; then
        die "something is still mounted below $tree; not removing it"
    fi
    echo "qt68-root: removing the unfinished root in $tree"
    rm -rf --one-file-system "$tree"
}

write_apt_config() {
    printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n' \
        "$mirror" "$suite" "$suite" /usr/share/keyrings/debian-archive-keyring.gpg \
        > "$root/etc/apt/sources.list.d/debian.sources"
    rm -f "$root/etc/apt/sources.list"
    # Follow this machine's policy on stale Release files: a pinned mirror
    # snapshot would otherwise fail "apt-get update" inside the root.
    local valid_until
    valid_until=$(apt-config dump Acquire::Check-Valid-Until | sed -n 's/^Acquire::Check-Valid-Until "\(.*\)";$/\1/p')
    if [[ -n $valid_until ]]; then
        printf 'Acquire::Check-Valid-Until "%s";\n' "$valid_until" > "$root/etc/apt/apt.conf.d/99bench-console"
    else
        rm -f "$root/etc/apt/apt.conf.d/99bench-console"
    fi
    # Packages must never start daemons inside the root.
    printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}

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
    remove_tree "$root"
fi
if [[ ! -d $root ]]; then
    remove_tree "$root.new"
    echo "qt68-root: debootstrap $suite from $mirror into $root"
    debootstrap --variant=minbase --keyring="$keyring" "$suite" "$root.new" "$mirror"
    mv "$root.new" "$root"
fi

write_apt_config
echo "qt68-root: installing ${packages[*]}"
in_root dpkg --configure -a
in_root apt-get update -q
in_root apt-get install -y -q "${packages[@]}"
in_root apt-get clean

# xvfb-run is what the OpenGL and screenshot tests run under: prove it works.
in_root xvfb-run -a sh -c 'test -n "$DISPLAY"' || die "xvfb-run does not work inside $root"

printf '%s\n' "$stamp_text" > "$stamp"
echo "qt68-root: $root ready in $((SECONDS - started)) s ($(in_root dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/^/Qt /'))"
