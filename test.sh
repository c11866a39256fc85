#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (under Xvfb when there is no display);
# then builds the core and its tests once more with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs them, and runs each fuzz target for a minute over its corpus
# (scripts/sanitize.sh). Any failure, sanitizer report or fuzz finding fails the run.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
# The export tests run the glTF validator, which lives in the clone, not in the system.
if [ -x scripts/setup_export_tools.sh ]; then scripts/setup_export_tools.sh; fi
scripts/build.sh build

run_ctest() { ctest --test-dir build --output-on-failure -j "$(nproc)" "$@"; }
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "$(declare -f run_ctest); run_ctest"
else
    run_ctest
fi

scripts/sanitize.sh build-sanitize
