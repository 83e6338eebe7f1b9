#!/usr/bin/env bash
# The one script that installs packages: with apt, whatever this machine still
# lacks to build, run and test the console. Safe to run again: packages already
# present are left alone. The other scripts only say what is missing, unless
# run with --install-deps, and the Debian roots of the Qt 6.8 leg get their
# packages from here too.
#   install-deps.sh [--package | --extra]          install what is missing
#   install-deps.sh --check [--package | --extra]  say what is missing; fail if anything is
#   install-deps.sh --list [--package | --extra]   print the package names
# --package adds what making and checking the Debian package needs; --extra
# adds that and what the sanitizer, fuzzing and Qt 6.8 legs need.
set -euo pipefail

packages=(
    build-essential cmake ninja-build
    qt6-base-dev qt6-charts-dev qt6-serialport-dev libgl-dev
    # Qt Linguist's tools (lupdate, lrelease) and their CMake package, for the translations.
    qt6-l10n-tools qt6-tools-dev
    xvfb xauth
    # The window's texts are Chinese; without a CJK face they render as boxes.
    fonts-wqy-microhei
    # Publishing to an MQTT broker; the tests start their own broker, subscribe
    # with its clients and make their TLS certificates with openssl.
    libmosquitto-dev pkg-config mosquitto mosquitto-clients openssl
)
# Making the Debian package (dpkg-shlibdeps), checking it, and testing it in a
# fresh root.
package_tools=(dpkg-dev desktop-file-utils lintian debootstrap)

mode=install
set_option=
for arg; do
    case $arg in
    --check) mode=check ;;
    --list) mode=list ;;
    --package | --extra) set_option=$arg ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
    esac
done

case $set_option in
--extra) packages+=(clang libclang-rt-dev "${package_tools[@]}") ;;
--package) packages+=("${package_tools[@]}") ;;
esac

if [[ $mode == list ]]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
# The Qt 6.8 leg's Debian 13 root is checked against trixie's release keys,
# which Debian 12's archive keyring carries from 2023.3+deb12u1 on: an older
# one is brought up to date from this machine's own, already trusted, archive.
if [[ $set_option == --extra && ! -e /usr/share/keyrings/debian-archive-trixie-stable.gpg ]]; then
    missing+=(debian-archive-keyring)
fi
((${#missing[@]})) || exit 0

if [[ $mode == check ]]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with: scripts/install-deps.sh${set_option:+ $set_option}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
