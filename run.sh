#!/usr/bin/env bash
# Installs what is missing, builds, and starts Warpkit with the example objects.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh build

# The model-data folder is read from Halvtorn/Shapeforge.conf under XDG_CONFIG_DIRS; point a
# private one at examples/ so the open dialogs start there, without touching system settings.
config_dir="$PWD/build/config"
mkdir -p "$config_dir/Halvtorn"
printf '[path]\nmodeldata=%s\n' "$PWD/examples" > "$config_dir/Halvtorn/Shapeforge.conf"
export XDG_CONFIG_DIRS="$config_dir${XDG_CONFIG_DIRS:+:$XDG_CONFIG_DIRS}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found; starting Warpkit under Xvfb." >&2
    exec xvfb-run -a -s "-screen 0 1280x1024x24" build/warpkit
fi
exec build/warpkit
