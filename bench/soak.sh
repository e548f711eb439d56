#!/usr/bin/env bash
# Soak run: the real window on the simulated unit for half an hour, with
# faults, checking what must not drift. Not part of CI.
#
# The simulated unit sends 270 status frames a second, 2 % of them with a
# broken CRC and noise bytes before every one, falls silent for 3 s every
# five minutes, and is unplugged for 2 s every ten (half-way between two
# silences; its --link moves to the new pseudo-terminal). The window is
# tools/velmar-soak-window, the tool as its entry point runs it plus counts
# of what its session heard, on the unit's link with --record, under
# xvfb-run (offscreen when that is missing). The report gives:
#   - the window's resident memory after the warm-up and at the end;
#   - every status frame the unit sent, as decoded or as a counted CRC
#     mismatch; the rest went into a line the window did not have open (the
#     new one, in the second before the window reopens it) or was cut when a
#     line was taken away;
#   - every silence and unplug, found in the record at its time;
#   - the state at the end: what the window showed, refresh frames the unit
#     received in the last 10 s.
#
# Usage: bench/soak.sh [--minutes N] [--silence-every S] [--unplug-every S]
#                      [--warm-up S] [--build-dir DIR] [--keep]
#   --minutes N       length of the run (default 30)
#   --silence-every S, --unplug-every S
#                     periods in seconds (default 300 and 600); shorten them
#                     with --minutes for a trial run
#   --warm-up S       seconds before the first memory sample (default 60)
#   --build-dir DIR   Release build of what the run needs (default build-soak)
#   --keep            keep the run's files (record, outputs) and print where
# Environment: VELMAR_JOBS (compile jobs, default 2).
# Exit status 0 when every check passed, 1 when one failed.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
minutes=30
silence_every=300
unplug_every=600
warm_up=60
build_dir=$root/build-soak
keep=false

readonly rate=270 bad_crc=0.02 noise=8
readonly silence_ms=3000 unplug_ms=2000
readonly ack_wait_ms=1000 # the window's wait for an acknowledgement
readonly ack_frame_ms=30  # the unit's next status frame at 270 frames/s, read
readonly growth_limit_kb=1024
readonly cut_per_unplug=3 # frames in the line or cut when it goes
readonly end_window_s=10 min_refreshes=3 # one every 2 s, one may be dropped
readonly settle_s=20 # nothing injected this close to the end

usage() { sed -n '2,/^set -euo/{/^#/p}' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }

while (($# > 0)); do
    case $1 in
    --minutes) minutes=$2; shift 2 ;;
    --silence-every) silence_every=$2; shift 2 ;;
    --unplug-every) unplug_every=$2; shift 2 ;;
    --warm-up) warm_up=$2; shift 2 ;;
    --build-dir) build_dir=$2; shift 2 ;;
    --keep) keep=true; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "soak.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
    esac
done
duration=$((minutes * 60))

echo "== building in $build_dir (Release)"
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVELMAR_BUILD_TESTS=OFF \
    -DVELMAR_BUILD_BENCH=OFF -DVELMAR_BUILD_TOOLS=ON >/dev/null
cmake --build "$build_dir" -j"${VELMAR_JOBS:-2}" --target velmar-unit-sim velmar-soak-window \
    >/dev/null
sim=$build_dir/simulator/velmar-unit-sim
window=$build_dir/tools/velmar-soak-window

work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-soak.XXXXXX")
sim_pid=
window_pid=
launcher_pid=
cleanup() {
    exec 3>&- 2>/dev/null || true
    for pid in $window_pid $launcher_pid $sim_pid; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    if $keep; then echo "run files kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

now_ms() { date +%s%3N; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$window_pid/status"; }
send() { echo "$1" >&3; }
stamped() { while IFS= read -r line; do echo "$(now_ms) $line"; done; }

# The unit reads its commands from a FIFO that stays open for the whole run,
# and keeps silent until the window is up: what it sent before would be
# thrown away unread. Its lines are stamped with the time they came.
mkfifo "$work/commands"
"$sim" --rate "$rate" --bad-crc "$bad_crc" --noise "$noise" --link "$work/unit" \
    --set "silence 600000" <"$work/commands" > >(stamped >"$work/sim.out") 2>"$work/sim.err" &
sim_pid=$!
exec 3>"$work/commands"
for _ in $(seq 50); do [[ -L $work/unit ]] && break; sleep 0.1; done
[[ -L $work/unit ]] || { echo "soak.sh: the simulated unit made no link" >&2; exit 1; }

# The window's settings go to the run's directory, never the user's.
window_command=("$window" --port "$work/unit" --record "$work/record.jsonl")
if command -v xvfb-run >/dev/null; then
    display="xvfb-run"
    XDG_CONFIG_HOME=$work/config xvfb-run -a "${window_command[@]}" \
        >"$work/window.out" 2>"$work/window.err" &
else
    display="offscreen"
    XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen "${window_command[@]}" \
        >"$work/window.out" 2>"$work/window.err" &
fi
launcher_pid=$!
for _ in $(seq 100); do
    window_pid=$(sed -n 's/^soak pid=\([0-9]*\) .*/\1/p' "$work/window.out" | head -n 1)
    [[ -n $window_pid ]] && break
    sleep 0.1
done
[[ -n $window_pid ]] || { echo "soak.sh: the window did not start" >&2; cat "$work/window.err" >&2; exit 1; }
send "silence 0"
start_ms=$(now_ms)

# What happens when, in seconds from the start; sorted below.
plan=("$warm_up sample")
for ((t = silence_every; t + settle_s < duration; t += silence_every)); do
    plan+=("$t silence")
done
for ((t = unplug_every - silence_every / 2; t + settle_s < duration; t += unplug_every)); do
    ((t > 0)) && plan+=("$t unplug")
done
plan+=("$duration end")

echo "== running for $minutes min: $rate frames/s, bad CRC $bad_crc, noise $noise bytes," \
    "silence every ${silence_every}s, unplug every ${unplug_every}s ($display)"
: >"$work/injected"
while read -r at what; do
    wait_s=$(((start_ms + at * 1000 - $(now_ms)) / 1000))
    ((wait_s > 0)) && sleep "$wait_s"
    while (($(now_ms) < start_ms + at * 1000)); do sleep 0.05; done
    kill -0 "$window_pid" 2>/dev/null || { echo "soak.sh: the window died at ${at}s" >&2; exit 1; }
    case $what in
    sample) rss_warm=$(rss_kb) ;;
    silence) echo "silence $(now_ms)" >>"$work/injected"; send "silence $silence_ms" ;;
    unplug) echo "unplug $(now_ms)" >>"$work/injected"; send "unplug $unplug_ms" ;;
    end)
        rss_end=$(rss_kb)
        end_ms=$(now_ms)
        shown_end=$(grep '^soak ' "$work/window.out" | tail -n 1)
        ;;
    esac
done < <(printf '%s\n' "${plan[@]}" | sort -n)

# Accounting: the unit falls silent, the window reads what is left and
# reports its counts, then the unit stops and reports what it sent.
send "silence 600000"
sleep 2
kill -TERM "$window_pid"
wait "$launcher_pid" || true
launcher_pid=
send "quit"
exec 3>&-
wait "$sim_pid" || true
sim_pid=
for _ in $(seq 50); do grep -q 'status frames sent' "$work/sim.out" && break; sleep 0.1; done
final=$(grep '^soak ' "$work/window.out" | tail -n 1)
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }
sent=$(sed -n 's/.*status frames sent: \([0-9]*\).*/\1/p' "$work/sim.out" | tail -n 1)
decoded=$(field decoded "$final")
mismatched=$(field crc_mismatch "$final")
short=$(field short "$final")
recorded_mismatches=$(grep -c '"event":"crc_mismatch"' "$work/record.jsonl" || true)
unaccounted=$((sent - decoded - mismatched - short))
unplugs=$(grep -c '^unplug' "$work/injected" || true)
silences=$(grep -c '^silence' "$work/injected" || true)
refreshes=$(awk -v from=$((end_ms - end_window_s * 1000)) -v to="$end_ms" \
    '$2 == "control" && $1 >= from && $1 <= to' "$work/sim.out" | wc -l)

# Every injected fault must show in the record within these bounds (ms after
# it was injected); every silent, port_lost, reopened and ack_timeout event
# must belong to one of them (a refresh frame sent as the unit falls silent
# or is unplugged is not acknowledged). An acknowledgement rides in the
# unit's next status frame, so one whose frame broke its CRC is lost: an
# ack_timeout whose control frame was followed within ack_frame_ms by a CRC
# mismatch belongs to that mismatch. What the window sent and the start of
# its record are not link events.
grep -v '"event":"\(status\|start\)"' "$work/record.jsonl" |
    sed -n 's/^{"time":"\([^"]*\)","event":"\([a-z_]*\)".*/\2 \1/p' >"$work/event-times" || true
paste -d ' ' <(cut -d ' ' -f 1 "$work/event-times") \
    <(cut -d ' ' -f 2 "$work/event-times" | date -f - +%s%3N) |
    awk -v from="$start_ms" -v to="$end_ms" '$2 >= from && $2 <= to' >"$work/events"
check_events=$(awk -v s="$silence_ms" -v u="$unplug_ms" -v ack="$ack_wait_ms" -v frame="$ack_frame_ms" '
    FNR == NR { kind[++n] = $1; at[n] = $2; next }
    $1 == "crc_mismatch" { mismatch[++c] = $2; next }
    $1 == "sent" { sent[++w] = $2; next }
    { event[++m] = $1; time[m] = $2 }
    function find(name, from, to,   i) {
        for (i = 1; i <= m; ++i)
            if (!used[i] && event[i] == name && time[i] >= from && time[i] <= to) { used[i] = 1; return 1 }
        return 0
    }
    function mismatch_within(from, to,   i) {
        for (i = 1; i <= c; ++i)
            if (mismatch[i] >= from && mismatch[i] <= to) return 1
        return 0
    }
    # The frame the time-out at t waited for: sent about one wait before.
    function ack_broken(t,   i) {
        for (i = 1; i <= w; ++i)
            if (sent[i] >= t - ack - 150 && sent[i] <= t - ack + 50)
                return mismatch_within(sent[i], sent[i] + frame)
        return 0
    }
    END {
        missing = 0
        for (j = 1; j <= n; ++j) {
            t = at[j]
            if (kind[j] == "silence")
                ok = find("silent", t, t + s) && find("connected", t + s, t + s + 3000)
            else
                ok = find("port_lost", t, t + 1500) && find("silent", t, t + u + 1000) &&
                     find("reopened", t + u * 0.9, t + u + 3000) &&
                     find("connected", t + u * 0.9, t + u + 5000)
            if (!ok) { ++missing; printf "  missing in the record: %s at %.0f\n", kind[j], t }
            duration = kind[j] == "silence" ? s : u
            while (find("ack_timeout", t - 2000, t + duration + 3000)) {}
        }
        lost_acks = 0
        for (i = 1; i <= m; ++i)
            if (!used[i] && event[i] == "ack_timeout" && ack_broken(time[i])) {
                used[i] = 1
                ++lost_acks
            }
        unexpected = 0
        for (i = 1; i <= m; ++i)
            if (!used[i] && event[i] != "connected") { ++unexpected; printf "  unexpected: %s at %.0f\n", event[i], time[i] }
        printf "RESULT %d %d %d\n", missing, unexpected, lost_acks
    }' "$work/injected" "$work/events")
read -r _ missing unexpected lost_acks <<<"$(grep '^RESULT' <<<"$check_events")"

growth=$((rss_end - rss_warm))
# Frames the unit sent into its new line before the window reopened it, at
# most: the time between the two, at the unit's rate.
unopened=$(awk -v rate="$rate" '
    FNR == NR { if ($2 == "replugged:") plugged[++n] = $1; next }
    $1 == "reopened" { opened[++m] = $2 }
    END {
        for (k = 1; k <= n && k <= m; ++k)
            if (opened[k] > plugged[k]) total += int((opened[k] - plugged[k]) * rate / 1000) + 1
        printf "%d\n", total
    }' "$work/sim.out" "$work/events")
lost_limit=$((unopened + unplugs * cut_per_unplug))
verdict=0
judge() { # condition text
    if eval "$1"; then echo "  ok    $2"; else echo "  FAIL  $2"; verdict=1; fi
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
qt_core=$(readlink -f "$(ldd "$window" | awk '/libQt[56]Core/ { print $3 }')")
qt=${qt_core##*.so.}
echo
echo "== soak report"
echo "machine: $cpu, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), Qt $qt, $display"
echo "command: bench/soak.sh --minutes $minutes --silence-every $silence_every --unplug-every $unplug_every --warm-up $warm_up"
echo "resident memory: ${rss_warm} kB after ${warm_up} s, ${rss_end} kB at the end (growth ${growth} kB)"
echo "status frames sent: $sent; decoded $decoded, CRC mismatches $mismatched (record: $recorded_mismatches)," \
    "short $short; neither $unaccounted, over $unplugs unplugs (at most $unopened sent before a reopen)"
echo "faults injected: $silences silences, $unplugs unplugs; missing in the record: $missing; unexpected events: $unexpected; acknowledgements lost in a broken frame: $lost_acks"
grep -v '^RESULT' <<<"$check_events" || true
echo "at the end: $(sed 's/^soak pid=[0-9]* time=[^ ]* //' <<<"$shown_end"); refresh frames in the last ${end_window_s} s: $refreshes"
judge "((growth < growth_limit_kb))" "memory growth under $growth_limit_kb kB"
judge "((unaccounted >= 0 && unaccounted <= lost_limit))" \
    "every status frame accounted for (the rest at most $lost_limit: sent before a reopen, or $cut_per_unplug cut per unplug)"
judge "((recorded_mismatches == mismatched))" "every CRC mismatch in the record"
judge "((missing == 0 && unexpected == 0))" "every silence and unplug in the record, nothing else"
judge "[[ \$shown_end == *'port=\"Ok\" receiving=\"Ok\" protocol=\"2.0, Ok\"'* ]]" "the unit shown at the end"
judge "((refreshes >= min_refreshes))" "refresh frames flowing at the end"
exit "$verdict"
