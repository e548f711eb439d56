#!/usr/bin/env bash
# Reproduces the performance figures of the README: builds the benchmarks in
# Release, runs the micro-benchmarks of the receive, decode and redraw path
# (three repetitions, medians shown) and the system benchmark against the
# simulated unit, and prints them with the machine they ran on.
#
# Usage: scripts/bench.sh [--seconds N] [--repetitions N]
#   --seconds N      length of each system run (default 5)
#   --repetitions N  repetitions of each micro-benchmark (default 3)
# The build directory is VELMAR_BENCH_BUILD_DIR (default build-bench/).
# Figures are noisy on a busy machine: the load average is printed with them.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VELMAR_BENCH_BUILD_DIR:-$root/build-bench}

seconds=5
repetitions=3
while (($# > 0)); do
    case "$1" in
    --seconds)
        seconds=${2:?--seconds needs a value}
        shift 2
        ;;
    --repetitions)
        repetitions=${2:?--repetitions needs a value}
        shift 2
        ;;
    -h | --help)
        sed -n '2,11p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "bench.sh: unknown option: $1" >&2
        exit 2
        ;;
    esac
done

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVELMAR_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" -j"${VELMAR_JOBS:-$(nproc)}" --target bench_receive_path bench_system

bench_dir=$build_dir/bench
if [[ ! -x $bench_dir/bench_receive_path || ! -x $bench_dir/bench_system ]]; then
    echo "bench.sh: the benchmarks were not built (Google Benchmark or the simulator missing)" >&2
    exit 1
fi

export QT_QPA_PLATFORM=offscreen
# The toolkit's start-up chatter is not part of the figures.
quiet() { grep -v -E 'XDG_RUNTIME_DIR|propagateSizeHints|Serial port lost|device not open' || true; }

echo "==== machine"
echo "cores: $(nproc)"
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "Qt: $(pkg-config --modversion Qt5Core 2>/dev/null || echo unknown)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "==== receive path (median of $repetitions; per_frame: CPU time per frame)"
"$bench_dir/bench_receive_path" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true 2>&1 | quiet |
    grep -E '^(Benchmark|-+$|Run on|Load Average|.*_median )'

echo
echo "==== system: the simulated unit on a pseudo-terminal, the window offscreen"
"$bench_dir/bench_system" --seconds "$seconds" 2>&1 | quiet
echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
