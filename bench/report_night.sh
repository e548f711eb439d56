#!/usr/bin/env bash
# The report's benchmark: a day of records at ten statuses a second, every
# status different from the one before (about 864,000 status lines, about
# 1 GB), made by bench/make_night_record; then, in turns, velmar-ctl report
# writing the page and jq counting the statuses of the same file, each with
# its wall time and peak resident memory. The record is deleted at the end.
#
# Usage: bench/report_night.sh [--turns N] [--hours H] [--format F]
#   --turns N   turns of each command (default 3)
#   --hours H   length of the record (default 24)
#   --format F  html (default), json or text
# The build directory is VELMAR_BENCH_BUILD_DIR (default build-bench/), in
# Release; the record goes to TMPDIR.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VELMAR_BENCH_BUILD_DIR:-$root/build-bench}
turns=3
hours=24
format=html
while (($# > 0)); do
    case "$1" in
    --turns)
        turns=${2:?--turns needs a value}
        shift 2
        ;;
    --hours)
        hours=${2:?--hours needs a value}
        shift 2
        ;;
    --format)
        format=${2:?--format needs a value}
        shift 2
        ;;
    -h | --help)
        sed -n '2,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "report_night.sh: unknown option: $1" >&2
        exit 2
        ;;
    esac
done

for tool in jq /usr/bin/time; do
    command -v "$tool" >/dev/null || {
        echo "report_night.sh: $tool is needed" >&2
        exit 1
    }
done

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVELMAR_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" -j"${VELMAR_JOBS:-2}" --target velmar-ctl make_night_record >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
record=$work/night.jsonl
page=$work/night.$format

echo "==== machine"
echo "cores: $(nproc); CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "==== the record: $hours h at 10 statuses a second"
/usr/bin/time -f "made in %e s" "$build_dir/bench/make_night_record" "$record" "$hours"
echo "size: $(du -m "$record" | cut -f1) MB; lines: $(wc -l <"$record")"

# Runs a command, its output thrown away; prints "wall_s max_rss_mb".
measure() {
    local log=$work/time.log
    /usr/bin/time -f "%e %M" -o "$log" "$@" >/dev/null 2>"$work/stderr" || {
        echo "report_night.sh: failed: $*" >&2
        cat "$work/stderr" >&2
        exit 1
    }
    awk '{ printf "%.2f %.0f\n", $1, $2 / 1024 }' "$log"
}

echo
echo "==== in turns (wall time, peak resident memory)"
printf '%-6s %-44s %10s %10s\n' turn command "wall s" "RSS MB"
for ((turn = 1; turn <= turns; turn++)); do
    read -r wall rss < <(measure "$build_dir/ctl/velmar-ctl" report --format "$format" -o "$page" "$record")
    printf '%-6s %-44s %10s %10s\n' "$turn" "velmar-ctl report --format $format" "$wall" "$rss"
    read -r wall rss < <(measure sh -c "jq -c 'select(.event==\"status\")' '$record' | wc -l")
    printf '%-6s %-44s %10s %10s\n' "$turn" "jq -c 'select(.event==\"status\")' | wc -l" "$wall" "$rss"
done
echo
echo "statuses by jq: $(jq -c 'select(.event=="status")' "$record" | wc -l)"
echo "statuses by the report: $("$build_dir/ctl/velmar-ctl" report --format json "$record" | jq .statuses)"
echo "page: $(du -k "$page" | cut -f1) kB"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
