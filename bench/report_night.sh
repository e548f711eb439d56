#!/usr/bin/env bash
# The report's benchmark: a day of records at ten statuses a second, every
# status different from the one before (about 864,000 status lines, about
# 1 GB), made by bench/make_night_record; then, in turns, velmar-ctl report
# writing the JSON report and the page, and jq counting the statuses of the
# same file, each with its wall time, CPU time, peak resident memory and the
# load average of the machine when it started. The record is deleted at the
# end.
#
# Usage: bench/report_night.sh [--turns N] [--hours H] [--format F,...]
#   --turns N   turns of each command (default 3)
#   --hours H   length of the record (default 24)
#   --format F  report formats, comma-separated: json, html, text
#               (default json,html)
# The build directory is VELMAR_BENCH_BUILD_DIR (default build-bench/), in
# Release; the record goes to TMPDIR.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VELMAR_BENCH_BUILD_DIR:-$root/build-bench}
turns=3
hours=24
formats=json,html
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
        formats=${2:?--format needs a value}
        shift 2
        ;;
    -h | --help)
        sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
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
IFS=, read -r -a format_list <<<"$formats"

echo "==== machine"
echo "cores: $(nproc); CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "==== the record: $hours h at 10 statuses a second"
/usr/bin/time -f "made in %e s" "$build_dir/bench/make_night_record" "$record" "$hours"
echo "size: $(du -m "$record" | cut -f1) MB; lines: $(wc -l <"$record")"

# Runs a command, its output thrown away; prints "wall_s cpu_s max_rss_mb load".
measure() {
    local log=$work/time.log load
    load=$(cut -d' ' -f1 /proc/loadavg)
    /usr/bin/time -f "%e %U %S %M" -o "$log" "$@" >/dev/null 2>"$work/stderr" || {
        echo "report_night.sh: failed: $*" >&2
        cat "$work/stderr" >&2
        exit 1
    }
    awk -v load="$load" '{ printf "%.2f %.2f %.0f %s\n", $1, $2 + $3, $4 / 1024, load }' "$log"
}

row() {
    printf '%-6s %-44s %8s %8s %8s %6s\n' "$@"
}

echo
echo "==== in turns (wall time, CPU time of all threads, peak resident memory, load at start)"
row turn command "wall s" "CPU s" "RSS MB" load
for ((turn = 1; turn <= turns; turn++)); do
    for format in "${format_list[@]}"; do
        read -r wall cpu rss load < <(measure "$build_dir/ctl/velmar-ctl" report \
            --format "$format" -o "$work/night.$format" "$record")
        row "$turn" "velmar-ctl report --format $format" "$wall" "$cpu" "$rss" "$load"
    done
    read -r wall cpu rss load < <(measure sh -c "jq -c 'select(.event==\"status\")' '$record' | wc -l")
    row "$turn" "jq -c 'select(.event==\"status\")' | wc -l" "$wall" "$cpu" "$rss" "$load"
done
echo
echo "statuses by jq: $(jq -c 'select(.event=="status")' "$record" | wc -l)"
echo "statuses by the report: $("$build_dir/ctl/velmar-ctl" report --format json "$record" | jq .statuses)"
for format in "${format_list[@]}"; do
    echo "report as $format: $(du -k "$work/night.$format" | cut -f1) kB"
done
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
