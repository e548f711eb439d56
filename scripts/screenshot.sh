#!/usr/bin/env bash
# Makes docs/screenshot.png: the real window under a virtual display, showing
# live data from the simulated unit.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="${1:-$root/docs/screenshot.png}"

"$root/scripts/build.sh" "$build" >/dev/null

config="$(mktemp -d)"
sim_out="$(mktemp)"
cleanup() {
    [[ -n "${sim_pid:-}" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$config" "$sim_out"
}
trap cleanup EXIT

# The simulator keeps running when its standard input ends; feed it none.
"$build/simulator/velmar-unit-sim" </dev/null >"$sim_out" &
sim_pid=$!
for _ in $(seq 50); do
    [[ -s "$sim_out" ]] && break
    sleep 0.1
done
port="$(head -n 1 "$sim_out")"
[[ -n "$port" ]] || { echo "screenshot: the simulator printed no port" >&2; exit 1; }

# At 96 dpi the picture shows the window at 100 %; Xvfb would otherwise report
# a little more, and the tool scales with the desktop.
XDG_CONFIG_HOME="$config" xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" \
    "$build/tools/velmar-window-shot" "$port" "$out"
echo "screenshot: wrote $out"
