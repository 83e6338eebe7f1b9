# shellcheck shell=bash
# Debian roots made with debootstrap, for the Qt 6.8 leg (run-tests-qt68.sh)
# and the package test (run-package-test.sh). Sourced, not run; the sourcing
# script defines die() and runs as root.
#
#   chroot_isolate "$@"    first thing in the script: it goes on in a private
#                          mount namespace, so whatever it mounts vanishes with
#                          it however it ends, even killed
#   chroot_lock ROOT       one user of ROOT at a time, until the script ends
#   chroot_make ROOT SUITE [--with-deps [SET]]
#                          makes ROOT, or brings it up to date, with SUITE's
#                          minimal base and, with --with-deps, the packages of
#                          scripts/install-deps.sh SET; a finished root whose
#                          suite and package list have not changed is reused
#   chroot_enter ROOT      mounts what commands inside need, and this machine's
#                          resolver; chroot_leave ROOT undoes it
#   chroot_bind ROOT DIR INSIDE   shows this machine's DIR at INSIDE in ROOT
#   chroot_run ROOT [NAME=VALUE...] COMMAND...
#                          runs COMMAND as root inside ROOT with a clean environment
#
#   DEBIAN_MIRROR  the Debian archive roots are made from (default: the first
#                  one this machine's apt uses, so a root comes from wherever
#                  this machine is allowed to fetch packages)

chroot_scripts_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

chroot_isolate() {
    [[ ${BENCH_CONSOLE_MOUNT_NAMESPACE:-0} == 1 ]] && return 0
    exec unshare --mount --propagation private -- env BENCH_CONSOLE_MOUNT_NAMESPACE=1 bash "$0" "$@"
}

chroot_lock() {
    local lock_fd
    mkdir -p "$(dirname "$1")"
    exec {lock_fd}>"$1.lock"
    flock "$lock_fd"
}

chroot_make() {
    local root=$1 suite=$2 with_deps=0 set='' mirror stamp_text started=$SECONDS
    if [[ ${3:-} == --with-deps ]]; then
        with_deps=1
        set=${4:-}
    fi
    command -v debootstrap >/dev/null || die "debootstrap is missing: run scripts/install-deps.sh --package"
    # debootstrap checks the suite's Release file against this machine's
    # archive keyring: an older keyring lacks a newer suite's keys.
    [[ -e /usr/share/keyrings/debian-archive-$suite-stable.gpg ]] \
        || die "this machine's archive keyring lacks $suite's keys: run scripts/install-deps.sh --extra"

    stamp_text="suite=$suite
packages="
    if ((with_deps)); then
        stamp_text+=$("$chroot_scripts_dir/install-deps.sh" --list ${set:+"$set"} | tr '\n' ' ')
    fi
    if [[ -f $root/.bench-console-root && $(<"$root/.bench-console-root") == "$stamp_text" ]]; then
        echo "chroot: reusing $root"
        return 0
    fi

    mirror=${DEBIAN_MIRROR:-$(chroot_host_mirror)}
    [[ -n $mirror ]] || die "no Debian mirror found in this machine's apt sources; set DEBIAN_MIRROR"
    if [[ -d $root && ( -d $root/debootstrap || ! -x $root/usr/bin/apt-get ) ]]; then
        # debootstrap removes its own folder when it finishes: this one did not.
        echo "chroot: removing the unfinished root in $root"
        chroot_remove_tree "$root"
    fi
    if [[ ! -d $root ]]; then
        chroot_remove_tree "$root.new"
        echo "chroot: debootstrap $suite from $mirror into $root"
        debootstrap --variant=minbase --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
            "$suite" "$root.new" "$mirror"
        mv "$root.new" "$root"
    fi

    chroot_configure_apt "$root" "$mirror" "$suite"
    chroot_enter "$root"
    if ((with_deps)); then
        cp "$chroot_scripts_dir/install-deps.sh" "$root/tmp/install-deps.sh"
        chroot_run "$root" dpkg --configure -a
        chroot_run "$root" /tmp/install-deps.sh ${set:+"$set"}
        rm "$root/tmp/install-deps.sh"
    fi
    chroot_run "$root" apt-get clean
    chroot_leave "$root"
    printf '%s\n' "$stamp_text" > "$root/.bench-console-root"
    echo "chroot: $root ready in $((SECONDS - started)) s"
}

chroot_mounts=(/proc /sys /dev /dev/pts /dev/shm)

chroot_enter() {
    local root=$1 dir
    [[ ${BENCH_CONSOLE_MOUNT_NAMESPACE:-0} == 1 ]] || die "chroot_enter needs chroot_isolate first"
    for dir in "${chroot_mounts[@]}"; do
        if mountpoint -q "$dir" && ! mountpoint -q "$root$dir"; then
            mkdir -p "$root$dir"
            mount --bind "$dir" "$root$dir"
        fi
    done
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}

chroot_leave() {
    local root=$1 i
    for ((i = ${#chroot_mounts[@]} - 1; i >= 0; i--)); do
        ! mountpoint -q "$root${chroot_mounts[i]}" || umount "$root${chroot_mounts[i]}"
    done
}

chroot_bind() {
    mkdir -p "$1$3"
    mount --bind "$2" "$1$3"
}

chroot_run() {
    local root=$1
    shift
    mountpoint -q "$root/proc" || die "chroot_run before chroot_enter $root"
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" DEBIAN_FRONTEND=noninteractive "$@"
}

# The first non-security Debian archive in this machine's apt sources.
chroot_host_mirror() {
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

# Refuses while anything is mounted below the tree: rm would go through a bind
# mount into the tree mounted there.
chroot_remove_tree() {
    local tree=$1
    [[ -e $tree ]] || return 0
    if findmnt -rn -o TARGET | awk -v tree="$tree" 'index($0, tree "/") == 1 { found = 1 } END { exit !found }'; then
        die "something is still mounted below $tree; not removing it"
    fi
    rm -rf --one-file-system "$tree"
}

# Points the root's apt at MIRROR for SUITE and its updates, and keeps packages
# from starting daemons inside it.
chroot_configure_apt() {
    local root=$1 mirror=$2 suite=$3 valid_until
    printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n' \
        "$mirror" "$suite" "$suite" /usr/share/keyrings/debian-archive-keyring.gpg \
        > "$root/etc/apt/sources.list.d/debian.sources"
    rm -f "$root/etc/apt/sources.list"
    # Follow this machine's policy on stale Release files: a pinned mirror
    # snapshot would otherwise fail "apt-get update" inside the root.
    valid_until=$(apt-config dump Acquire::Check-Valid-Until | sed -n 's/^Acquire::Check-Valid-Until "\(.*\)";$/\1/p')
    if [[ -n $valid_until ]]; then
        printf 'Acquire::Check-Valid-Until "%s";\n' "$valid_until" > "$root/etc/apt/apt.conf.d/99bench-console"
    else
        rm -f "$root/etc/apt/apt.conf.d/99bench-console"
    fi
    printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
}
