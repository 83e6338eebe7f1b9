#!/usr/bin/env bash
# Installs, with apt, whatever this machine still lacks to build, run and test
# the console. Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
    build-essential cmake ninja-build
    qt6-base-dev qt6-charts-dev qt6-serialport-dev libgl-dev
    qt6-tools-dev qt6-l10n-tools
    xvfb xauth
    # The window's texts are Chinese; without a CJK face they render as boxes.
    fonts-wqy-microhei
)
# Making the Debian package (dpkg-shlibdeps) and testing it in a fresh root.
package_tools=(dpkg-dev desktop-file-utils debootstrap)
case "${1:-}" in
--extra)
    # Sanitizer, fuzzing, Qt 6.8 and package legs.
    packages+=(clang libclang-rt-dev "${package_tools[@]}")
    ;;
--package)
    packages+=("${package_tools[@]}")
    ;;
esac

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
fi
