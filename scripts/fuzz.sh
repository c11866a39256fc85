#!/usr/bin/env bash
# Runs each fuzz target for the given number of seconds (default 60), one process each, over
# its corpus: the seeds written at build time, the saved findings in fuzz/regressions, and a
# working corpus in the build folder that grows from run to run. A crash, a sanitizer report,
# a broken promise, a hang or a leak is a finding: it is saved under <build>/fuzz/findings/
# and fails the run.
#
# Usage: scripts/fuzz.sh [seconds] [build folder with WARPKIT_BUILD_FUZZ=ON, default build-sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
fuzz_dir=${2:-build-sanitize}/fuzz
if [ ! -x "$fuzz_dir/fuzz_qxm_reader" ] || [ ! -x "$fuzz_dir/fuzz_project_parser" ] ||
    [ ! -x "$fuzz_dir/fuzz_gltf_reader" ] || [ ! -x "$fuzz_dir/fuzz_obj_reader" ]; then
    echo "No fuzz targets in $fuzz_dir: build them first with scripts/sanitize.sh" >&2
    exit 1
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
status=0

# run_target <target> <corpus name> <dictionary> <longest input>
run_target() {
    local target=$1 corpus=$2 dict=$3 max_len=$4
    local work=$fuzz_dir/corpus/$corpus log=$fuzz_dir/$target.log
    mkdir -p "$work" "$fuzz_dir/findings"
    echo "== $target for ${seconds}s"
    if "$fuzz_dir/$target" -max_total_time="$seconds" -timeout=10 -max_len="$max_len" \
        -dict="fuzz/$dict" -artifact_prefix="$fuzz_dir/findings/$target-" \
        -print_final_stats=1 "$work" "$fuzz_dir/seeds/$corpus" "fuzz/regressions/$corpus" \
        >"$log" 2>&1; then
        grep -E "stat::(number_of_executed_units|average_exec_per_sec)" "$log" || true
    else
        tail -n 80 "$log"
        echo "FINDING in $target (log: $log, input: $fuzz_dir/findings/$target-*)." >&2
        echo "Keep the input as fuzz/regressions/$corpus/<what it is>, fix the fault, and" \
            "the test test_hostile_inputs replays it from then on." >&2
        status=1
    fi
}

run_target fuzz_qxm_reader qxm qxm.dict 8192
run_target fuzz_project_parser project project.dict 4096
run_target fuzz_gltf_reader gltf gltf.dict 16384
run_target fuzz_obj_reader obj obj.dict 4096
exit $status
