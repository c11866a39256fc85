#!/usr/bin/env bash
# Installs the Debian packages Warpkit needs to build, run and test, when any is missing.
# Quick and silent when everything is in place.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins
    libgl-dev libglu1-mesa-dev libgl1-mesa-dri
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth fonts-noto-cjk fonts-dejavu-core
    clang libclang-rt-14-dev
    libtinygltf-dev nodejs
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run as root to install: ${missing[*]}" >&2; exit 1; }
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
