#!/usr/bin/env bash
# Writes again the Blender-made files the import tests read (tests/data/blender/face.glb and
# face.fbx) with Debian's Blender, installed here when missing. The files are kept in the
# repository, so the tests need no Blender; run this only to change them.
#
# Usage: scripts/make_blender_samples.sh
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v blender >/dev/null || ! python3 -c "import numpy" 2>/dev/null; then
    # the glTF exporter needs numpy, which the package only recommends
    scripts/install_packages.sh blender python3-numpy
fi
folder=tests/data/blender
blender -b --factory-startup -noaudio --python "$folder/make_face.py" -- "$folder"
