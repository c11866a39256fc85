#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (under Xvfb when there is no display).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
scripts/build.sh build

run_ctest() { ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"; }
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$(declare -f run_ctest); run_ctest"
else
    run_ctest
fi
