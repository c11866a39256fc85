#!/usr/bin/env bash
# Installs what the tests of warpkit-export need beyond the build: Node.js with npm (Debian
# packages, when missing) and the Khronos glTF validator (an npm package) in a folder of the
# project, build/export-tools unless another is given. Quick and silent when all is in place.
#
# Usage: scripts/setup_export_tools.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."

folder=${1:-build/export-tools}
validator_version=2.0.0-dev.3.10

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    scripts/install_packages.sh nodejs npm
fi

installed="$folder/node_modules/gltf-validator/package.json"
if [ -f "$installed" ] && grep -q "\"version\": \"$validator_version\"" "$installed"; then
    exit 0
fi
echo "Installing gltf-validator $validator_version into $folder"
mkdir -p "$folder"
npm install --prefix "$folder" --no-audit --no-fund --no-save --loglevel=error \
    "gltf-validator@$validator_version"
