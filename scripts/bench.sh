#!/usr/bin/env bash
# Builds the benchmarks (into build-bench/, or the folder given as $1) and runs them all, each
# followed by its ratios. The drag step draws in a real window, so without a display the whole
# script runs again under Xvfb. Further arguments go to every program, e.g.
#   scripts/bench.sh build-bench --benchmark_repetitions=9 --benchmark_filter=1M
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
build_dir=${1:-build-bench}
shift || true

programs=(bench_blend bench_normals bench_read bench_project bench_match bench_export bench_open bench_drag)
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARPKIT_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target "${programs[@]}" bench_memory >/dev/null

echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
for program in "${programs[@]}"; do
    echo
    echo "=== $program"
    QT_QPA_PLATFORM=xcb "$build_dir/bench/$program" "$@"
done
# Peak memory is a process's own, so each way runs in a process of its own.
echo
echo "=== bench_memory"
QT_QPA_PLATFORM=xcb "$build_dir/bench/bench_memory"
QT_QPA_PLATFORM=xcb "$build_dir/bench/bench_memory" --earlier
echo
echo "Machine after the runs: load average $(cut -d' ' -f1-3 /proc/loadavg)"
