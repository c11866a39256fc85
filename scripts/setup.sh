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
    qt6-translations-l10n openbox xdotool
    clang libclang-rt-14-dev
    libtinygltf-dev nlohmann-json3-dev libmeshoptimizer-dev libdraco-dev nodejs
    libnanoflann-dev libtinyobjloader-dev libassimp-dev assimp-testmodels
    dpkg-dev file desktop-file-utils shared-mime-info lintian help2man
)

exec "$(dirname "$0")/install_packages.sh" "${packages[@]}"
