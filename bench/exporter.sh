#!/usr/bin/env bash
# The exporter's cost on a rack: one velmar-exporter on 16 simulated units
# sending 10 statuses a second each, then, in turn, 16 `velmar-ctl watch`
# processes on the same units (one each; two readers cannot share a line).
#
# For the exporter: its CPU share of one core while Prometheus-like scrapes
# come once a second, its resident memory, and the latency of back-to-back
# scrapes (median, 99th percentile, worst). For the watches: their CPU share
# and resident memory added up.
#
# Usage: bench/exporter.sh [--seconds N] [--units N] [--scrapes N]
#   --seconds N  length of each CPU measurement (default 60)
#   --units N    simulated units (default 16)
#   --scrapes N  back-to-back scrapes timed (default 1000)
# Builds Release in VELMAR_BENCH_BUILD_DIR (default build-bench/). Needs curl.
# Figures are noisy on a busy machine: the load average is printed with them.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VELMAR_BENCH_BUILD_DIR:-$root/build-bench}
seconds=60
unit_count=16
scrape_count=1000
warm_up_seconds=5

while (($# > 0)); do
    case "$1" in
    --seconds | --units | --scrapes)
        [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || {
            echo "exporter.sh: $1 needs a positive number" >&2
            exit 2
        }
        case "$1" in
        --seconds) seconds=$2 ;;
        --units) unit_count=$2 ;;
        --scrapes) scrape_count=$2 ;;
        esac
        shift 2
        ;;
    -h | --help)
        sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "exporter.sh: unknown option: $1" >&2
        exit 2
        ;;
    esac
done
command -v curl >/dev/null || {
    echo "exporter.sh: curl is needed to scrape" >&2
    exit 1
}

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j"${VELMAR_JOBS:-2}" --target velmar-exporter velmar-unit-sim velmar-ctl
exporter=$build_dir/exporter/velmar-exporter
simulator=$build_dir/simulator/velmar-unit-sim
ctl=$build_dir/ctl/velmar-ctl

work=$(mktemp -d)
pids=()
stop_all() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT

ticks_per_second=$(getconf CLK_TCK)
# User and system CPU ticks of the processes given.
cpu_ticks() {
    local total=0 pid
    for pid in "$@"; do
        read -r -a stat <"/proc/$pid/stat"
        # Fields 14 and 15, after a command name without blanks.
        total=$((total + stat[13] + stat[14]))
    done
    echo "$total"
}
rss_kb() {
    local total=0 pid
    for pid in "$@"; do
        total=$((total + $(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")))
    done
    echo "$total"
}
share() { awk -v ticks="$1" -v hz="$ticks_per_second" -v s="$seconds" \
    'BEGIN { printf "%.2f", 100 * ticks / hz / s }'; }

echo "==== machine"
echo "cores: $(nproc); CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

mkdir "$work/by-id"
sim_pids=()
for ((unit = 0; unit < unit_count; unit++)); do
    "$simulator" --link "$work/by-id/usb-unit-$unit" </dev/null >/dev/null 2>&1 &
    pids+=($!)
    sim_pids+=($!)
done
for ((unit = 0; unit < unit_count; unit++)); do
    for _ in $(seq 100); do
        [[ -e $work/by-id/usb-unit-$unit ]] && break
        sleep 0.1
    done
done

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url=http://127.0.0.1:$port/metrics
"$exporter" --listen "127.0.0.1:$port" --port "$work/by-id/usb-*" 2>"$work/exporter.log" &
exporter_pid=$!
pids+=("$exporter_pid")
sleep "$warm_up_seconds"
up=$(curl -sf "$url" | grep -c '^velmar_up{.*} 1$' || true)
echo
echo "==== velmar-exporter on $unit_count units at 10 statuses a second each"
echo "units up after ${warm_up_seconds} s: $up of $unit_count"

before=$(cpu_ticks "$exporter_pid")
for ((second = 0; second < seconds; second++)); do
    curl -sf -o /dev/null "$url" || echo "a scrape failed" >&2
    sleep 1
done
after=$(cpu_ticks "$exporter_pid")
echo "CPU over $seconds s, one scrape a second: $(share $((after - before))) % of one core"
echo "resident memory: $(rss_kb "$exporter_pid") kB (peak $(awk '/^VmHWM:/ { print $2 }' \
    "/proc/$exporter_pid/status") kB)"
echo "scrape size: $(curl -sf "$url" | wc -c) bytes"

for ((scrape = 0; scrape < scrape_count; scrape++)); do
    curl -sf -o /dev/null -w '%{time_total}\n' "$url"
done | sort -n >"$work/latencies"
awk -v n="$scrape_count" '{ t[NR] = $1 * 1000 } END {
    p = int(n * 0.99 + 0.5); if (p < 1) p = 1; if (p > NR) p = NR
    printf "scrape latency over %d back-to-back scrapes (curl, connect included): " \
        "median %.2f ms, 99th percentile %.2f ms, worst %.2f ms\n",
        NR, t[int((NR + 1) / 2)], t[p], t[NR] }' "$work/latencies"
statuses=$(curl -sf "$url" | awk '/^velmar_status_messages_total/ { s += $2 } END { print s }')
echo "statuses counted: $statuses"
kill "$exporter_pid"
wait "$exporter_pid" 2>/dev/null || true

echo
echo "==== in turn: $unit_count velmar-ctl watch processes, one per unit, records to /dev/null"
watch_pids=()
for ((unit = 0; unit < unit_count; unit++)); do
    "$ctl" watch --port "$work/by-id/usb-unit-$unit" >/dev/null 2>&1 &
    pids+=($!)
    watch_pids+=($!)
done
sleep "$warm_up_seconds"
before=$(cpu_ticks "${watch_pids[@]}")
sleep "$seconds"
after=$(cpu_ticks "${watch_pids[@]}")
echo "CPU over $seconds s, all $unit_count added up: $(share $((after - before))) % of one core"
echo "resident memory, all $unit_count added up: $(rss_kb "${watch_pids[@]}") kB"
echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
