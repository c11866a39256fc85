#!/usr/bin/env bash
# Installs what the tests of warpkit-export need beyond the build: Node.js with npm (Debian
# packages, when missing) and, in a folder of the project (build/export-tools unless another is
# given), the npm packages the tests run: the Khronos glTF validator; three.js, whose glTF
# loader and meshopt decoder play the exported files as a player would; and glTF Transform's
# libraries with the meshopt and Draco encoders they use, which compress files as artists'
# pipelines do for the importer's tests. Each at an exact version; quick and silent when all is
# in place.
#
# Usage: scripts/setup_export_tools.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."

folder=${1:-build/export-tools}
packages=(
    gltf-validator@2.0.0-dev.3.10
    three@0.187.0
    @gltf-transform/core@4.5.1
    @gltf-transform/extensions@4.5.1
    @gltf-transform/functions@4.5.1
    draco3dgltf@1.5.7
    meshoptimizer@1.2.0
)

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    scripts/install_packages.sh nodejs npm
fi

missing=()
for package in "${packages[@]}"; do
    name=${package%@*}
    version=${package##*@}
    installed="$folder/node_modules/$name/package.json"
    if ! [ -f "$installed" ] || ! grep -q "\"version\": \"$version\"" "$installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing ${missing[*]} into $folder"
mkdir -p "$folder"
# All of them at once: npm install with --no-save removes what the command line does not name.
npm install --prefix "$folder" --no-audit --no-fund --no-save --loglevel=error "${packages[@]}"
