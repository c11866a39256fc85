#!/usr/bin/env bash
# Builds the core, its tests and the fuzz targets once more with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang) into build-sanitize/ (or the folder given as $1), runs the
# core tests there, then each fuzz target over its corpus for WARPKIT_FUZZ_SECONDS seconds
# (60 when unset). Any sanitizer report, failed test or fuzz finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-sanitize}
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

scripts/build.sh "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DWARPKIT_BUILD_UI=OFF \
    -DWARPKIT_BUILD_BENCH=OFF -DWARPKIT_BUILD_FUZZ=ON "-DCMAKE_CXX_FLAGS=$flags"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:check_initialization_order=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan_suppressions.txt:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"

scripts/fuzz.sh "${WARPKIT_FUZZ_SECONDS:-60}" "$build_dir"
