#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each for a bounded time on a copy of
# its seed corpus and of every input that ever found a fault: the session's
# receive path (fuzz/corpus, fuzz/regressions) and the record reader
# (fuzz/record_corpus, fuzz/record_regressions), which share the time.
# Fails on any finding (crash, sanitizer report, leak, time-out, memory limit)
# and leaves the input that found it under <build-dir>/findings/<fuzzer>/.
#
# Usage: scripts/ci-fuzz.sh [seconds] [build-dir]
#   seconds     fuzzing time of both together, default 120 (at least 2)
#   build-dir   default build-fuzz in the repository root
# Environment: VELMAR_JOBS (compile jobs, default 2), VELMAR_FUZZ_ARGS (more
# libFuzzer flags, for example "-seed=1").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-120}
# Absolute: the fuzzers run from inside it.
build_dir=$(realpath -m "${2:-$root/build-fuzz}")
jobs=${VELMAR_JOBS:-2}
max_input_bytes=4096
per_input_timeout_s=10

if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 2)); then
    echo "ci-fuzz.sh: seconds must be a whole number of at least 2, not '$seconds'" >&2
    exit 2
fi
# The receive path is the older target with the larger corpus: it keeps the
# larger share.
receive_seconds=$(((seconds * 2 + 2) / 3))
record_seconds=$((seconds - receive_seconds))

configure_and_build() {
    # A tree configured earlier with another compiler cannot be switched over.
    if [[ -f $build_dir/CMakeCache.txt ]] &&
        ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$build_dir/CMakeCache.txt"; then
        rm -rf "$build_dir/CMakeCache.txt" "$build_dir/CMakeFiles"
    fi
    CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -DVELMAR_FUZZ=ON \
        -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_TOOLS=OFF -DVELMAR_BUILD_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build_dir" -j"$jobs" --target fuzz_receive_path fuzz_record_reader
}

# run_fuzzer NAME SECONDS CORPUS REGRESSIONS
run_fuzzer() {
    local name=$1 time=$2 corpus=$3 regressions=$4
    local work=$build_dir/fuzz-work/$name findings=$build_dir/findings/$name
    local log=$build_dir/$name.log
    rm -rf "$work" "$findings"
    mkdir -p "$work/corpus" "$findings"
    cp "$root/fuzz/$corpus"/* "$work/corpus/"
    # Inputs that once found a fault go first, so a fault that came back is
    # found at once.
    cp "$root/fuzz/$regressions"/* "$work/corpus/" 2>/dev/null || true
    rm -f "$work/corpus/.gitkeep"

    local -a extra
    read -r -a extra <<<"${VELMAR_FUZZ_ARGS:-}"
    echo "ci-fuzz.sh: fuzzing $name for $time s (log: $log)"
    local rc=0
    (cd "$work" && QT_QPA_PLATFORM=offscreen \
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build_dir/fuzz/$name" \
        -max_total_time="$time" -max_len="$max_input_bytes" \
        -timeout="$per_input_timeout_s" -print_final_stats=1 \
        -artifact_prefix="$findings/" "${extra[@]}" corpus) >"$log" 2>&1 || rc=$?

    local executions speed added
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -n 1)
    local found
    found=$(find "$findings" -type f | sort)
    if ((rc != 0)) || [[ -n $found ]]; then
        tail -n 80 "$log"
        echo "ci-fuzz.sh: FINDING in $name (fuzzer exit status $rc)" >&2
        if [[ -n $found ]]; then
            echo "ci-fuzz.sh: input(s) that found it:" >&2
            echo "$found" >&2
            echo "ci-fuzz.sh: once fixed, copy them into fuzz/$regressions/ so the" \
                "replay test keeps them fixed" >&2
        fi
        return 1
    fi
    echo "fuzz $name: ${executions:-?} executions in $time s (${speed:-?} per second)," \
        "${added:-0} new corpus units, no finding"
}

bash "$root/scripts/install-deps.sh" --with-fuzz
configure_and_build
status=0
run_fuzzer fuzz_receive_path "$receive_seconds" corpus regressions || status=1
run_fuzzer fuzz_record_reader "$record_seconds" record_corpus record_regressions || status=1
exit "$status"
