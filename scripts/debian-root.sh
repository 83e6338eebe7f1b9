# shellcheck shell=bash
# Pieces shared by the scripts that make and use Debian roots with debootstrap
# (qt68-root.sh, run-package-test.sh). Sourced, not run; the script sourcing it
# defines die().

# The first non-security Debian archive in this machine's apt sources, so a
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

# in_root ROOT COMMAND...: runs a command as root inside ROOT with a clean
# environment. A private mount namespace: /proc and /dev vanish with the
# command, even if it is killed, so nothing stays mounted inside the root.
in_root() {
    unshare --mount --propagation private -- sh -c '
        root=$1; shift
        mount -t proc proc "$root/proc"
        mount --bind /dev "$root/dev"
        mount --bind /dev/pts "$root/dev/pts"
        exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
            HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
    ' in-root "$@"
}

# remove_tree TREE: removes an unfinished or used root, refusing while anything
# is mounted below it: rm would go through a bind mount into the tree mounted there.
remove_tree() {
    local tree=$1
    [[ -e $tree ]] || return 0
    if findmnt -rn -o TARGET | awk -v tree="$tree" 'index($0, tree "/") == 1 { found = 1 } END { exit !found }'; then
        die "something is still mounted below $tree; not removing it"
    fi
    rm -rf --one-file-system "$tree"
}

# write_apt_config ROOT MIRROR SUITE: points the root's apt at MIRROR for SUITE
# and its updates, and keeps packages from starting daemons inside it.
write_apt_config() {
    local root=$1 mirror=$2 suite=$3
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
    printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}
