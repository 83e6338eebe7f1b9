#!/usr/bin/env bash
# Installs, with apt, whatever this machine still lacks to build, run and test
# the console. Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
    build-essential cmake ninja-build
    qt6-base-dev qt6-charts-dev qt6-serialport-dev libgl-dev
    xvfb xauth
    # The window's texts are Chinese; without a CJK face they render as boxes.
    fonts-wqy-microhei
)
if [[ "${1:-}" == "--extra" ]]; then
    # Sanitizer, fuzzing and Qt 6.8 legs.
    packages+=(clang libclang-rt-dev debootstrap)
fi

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
