#!/usr/bin/env bash
# The exporter at site scale: 16 simulated units at 10 statuses a second,
# all behind one ser2net (telnet with RFC 2217 on loopback ports), named by
# URL in the exporter's configuration file. Then the terminal server dies
# (16 ports lost at once) and comes back.
#
# For the exporter: its CPU share of one core while scraped once a second,
# with the server up and with it dead; how long a scrape takes while 16
# ports are being retried; how often each unit knocks on a server that
# takes the connection and drops it at once (its back-off); how long until
# every unit is back once the server is.
#
# Usage: bench/terminal_server.sh [--seconds N] [--units N]
#   --seconds N  length of each CPU measurement (default 60)
#   --units N    simulated units (default 16)
# Builds Release in VELMAR_BENCH_BUILD_DIR (default build-bench/). Needs curl,
# python3 and ser2net. Loopback only.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VELMAR_BENCH_BUILD_DIR:-$root/build-bench}
seconds=60
unit_count=16
warm_up_seconds=5
knock_seconds=30

while (($# > 0)); do
    case "$1" in
    --seconds | --units)
        [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || {
            echo "terminal_server.sh: $1 needs a positive number" >&2
            exit 2
        }
        case "$1" in
        --seconds) seconds=$2 ;;
        --units) unit_count=$2 ;;
        esac
        shift 2
        ;;
    -h | --help)
        sed -n '2,17p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "terminal_server.sh: unknown option: $1" >&2
        exit 2
        ;;
    esac
done
for tool in curl python3 ser2net; do
    command -v "$tool" >/dev/null || {
        echo "terminal_server.sh: $tool is needed" >&2
        exit 1
    }
done

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j"${VELMAR_JOBS:-2}" --target velmar-exporter velmar-unit-sim
exporter=$build_dir/exporter/velmar-exporter
simulator=$build_dir/simulator/velmar-unit-sim

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
cpu_ticks() {
    local stat
    read -r -a stat <"/proc/$1/stat"
    echo $((stat[13] + stat[14]))
}
share() { awk -v ticks="$1" -v hz="$ticks_per_second" -v s="$2" \
    'BEGIN { printf "%.2f", 100 * ticks / hz / s }'; }
free_ports() {
    python3 -c '
import socket, sys
held = []
for _ in range(int(sys.argv[1])):
    s = socket.socket(); s.bind(("127.0.0.1", 0)); held.append(s)
print(" ".join(str(s.getsockname()[1]) for s in held))' "$1"
}

echo "==== machine"
echo "cores: $(nproc); CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

mkdir "$work/by-id"
for ((unit = 0; unit < unit_count; unit++)); do
    "$simulator" --link "$work/by-id/unit-$unit" </dev/null >/dev/null 2>&1 &
    pids+=($!)
done
for ((unit = 0; unit < unit_count; unit++)); do
    for _ in $(seq 100); do
        [[ -e $work/by-id/unit-$unit ]] && break
        sleep 0.1
    done
done

read -r -a ports <<<"$(free_ports "$unit_count")"
: >"$work/ser2net.yaml"
: >"$work/exporter.conf"
for ((unit = 0; unit < unit_count; unit++)); do
    cat >>"$work/ser2net.yaml" <<YAML
connection: &unit$unit
  accepter: telnet(rfc2217),tcp,127.0.0.1,${ports[unit]}
  connector: serialdev,$(readlink "$work/by-id/unit-$unit"),115200n81,local
  options:
    kickolduser: true
YAML
    echo "unit rack-$unit = rfc2217://127.0.0.1:${ports[unit]}" >>"$work/exporter.conf"
done
start_ser2net() {
    ser2net -n -u -P "$work/ser2net.pid" -c "$work/ser2net.yaml" >/dev/null 2>&1 &
    ser2net_pid=$!
    pids+=("$ser2net_pid")
    sleep 1
}
start_ser2net

http_port=$(free_ports 1)
url=http://127.0.0.1:$http_port/metrics
"$exporter" --listen "127.0.0.1:$http_port" --config "$work/exporter.conf" 2>"$work/exporter.log" &
exporter_pid=$!
pids+=("$exporter_pid")
count() { curl -sf "$url" | grep -c "^$1{.*} $2\$" || true; }
sleep "$warm_up_seconds"
echo
echo "==== velmar-exporter on $unit_count units through one ser2net (RFC 2217), 10 statuses a second each"
echo "units up after ${warm_up_seconds} s: $(count velmar_up 1) of $unit_count"

measure_cpu() { # seconds; scrapes once a second; prints the share and the slowest scrape
    local before after slowest=0 took
    before=$(cpu_ticks "$exporter_pid")
    for ((second = 0; second < $1; second++)); do
        took=$(curl -sf -o /dev/null -w '%{time_total}' "$url" || echo 99)
        slowest=$(awk -v a="$slowest" -v b="$took" 'BEGIN { print (b > a) ? b : a }')
        sleep 1
    done
    after=$(cpu_ticks "$exporter_pid")
    echo "$(share $((after - before)) "$1") % of one core; slowest scrape $(awk -v t="$slowest" \
        'BEGIN { printf "%.1f", t * 1000 }') ms"
}
echo "server up, over $seconds s: $(measure_cpu "$seconds")"
before=$(cpu_ticks "$ser2net_pid")
sleep 10
echo "(ser2net itself: $(share $(($(cpu_ticks "$ser2net_pid") - before)) 10) % of one core)"

echo
echo "==== the terminal server dies: $unit_count ports lost at once"
kill -KILL "$ser2net_pid"
wait "$ser2net_pid" 2>/dev/null || true
died=$(date +%s.%N)
while (($(count velmar_port_open 0) < unit_count)); do sleep 0.1; done
echo "all $unit_count shown lost after $(awk -v a="$died" -v b="$(date +%s.%N)" \
    'BEGIN { printf "%.2f", b - a }') s"
echo "server dead (connections refused), over $seconds s: $(measure_cpu "$seconds")"

# A server that takes each connection and drops it at once, on the same
# ports: every attempt of every unit is seen, with its time.
python3 - "$knock_seconds" "${ports[@]}" >"$work/knocks" <<'PY' &
import selectors, socket, sys, time
seconds, ports = float(sys.argv[1]), [int(p) for p in sys.argv[2:]]
selector = selectors.DefaultSelector()
for port in ports:
    listener = socket.socket(); listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port)); listener.listen(16)
    selector.register(listener, selectors.EVENT_READ, port)
end = time.monotonic() + seconds
while time.monotonic() < end:
    for key, _ in selector.select(timeout=0.2):
        connection, _ = key.fileobj.accept()
        print(key.data, f"{time.monotonic():.3f}", flush=True)
        connection.close()
PY
knocker=$!
pids+=("$knocker")
wait "$knocker" || true
awk '{ if (last[$1] != "") print $2 - last[$1]; last[$1] = $2 }' "$work/knocks" | sort -n >"$work/gaps"
attempts=$(wc -l <"$work/knocks")
echo "a server that drops every connection, $knock_seconds s: $attempts attempts from" \
    "$(cut -d' ' -f1 "$work/knocks" | sort -u | wc -l) units" \
    "($(awk -v a="$attempts" -v n="$unit_count" -v s="$knock_seconds" \
        'BEGIN { printf "%.1f", a / n * 60 / s }') a unit a minute);" \
    "gap between one unit's attempts: median $(awk '{ g[NR] = $1 } END { printf "%.1f", g[int((NR + 1) / 2)] }' \
        "$work/gaps") s, longest $(tail -n 1 "$work/gaps" | awk '{ printf "%.1f", $1 }') s"
echo
echo "==== the terminal server comes back"
back=$(date +%s.%N)
start_ser2net
while (($(count velmar_up 1) < unit_count)); do sleep 0.1; done
echo "all $unit_count units up again $(awk -v a="$back" -v b="$(date +%s.%N)" \
    'BEGIN { printf "%.2f", b - a }') s after the server started"
echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
