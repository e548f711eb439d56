#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, in stages.
#
# Usage: scripts/test.sh [stage...]
#   With no stage named, every stage but sanitize runs. VELMAR_STAGES="a b" does the same
#   as naming stages. Build directories are VELMAR_BUILD_DIR (default build/)
#   and siblings of it named after the stage. VELMAR_CTEST_ARGS is passed to
#   every ctest run (for example "-R tst_frame"); VELMAR_TEST_JOBS is how many
#   tests run at once (default 4: most of a test's time is spent waiting).
#   The package stage packages the qt5 stage's build when both run.
#
# A stage is a function stage_<name> listed in all_stages, with a title and
# the install-deps.sh options it needs. A stage fails when any command in it
# fails; the other stages still run.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_base=${VELMAR_BUILD_DIR:-$root/build}

# The Qt 6 build is also the sanitizer build: one build fewer keeps the whole
# run within its time. The sanitize stage (Qt 5 under the sanitizers) runs
# when named.
all_stages=(qt5 qt6 sanitize fuzz package)
default_stages=(qt5 qt6 fuzz package)
declare -A stage_title=(
    [qt5]="Qt 5 build and every test"
    [qt6]="Qt 6 build under AddressSanitizer and UndefinedBehaviorSanitizer, and every test"
    [sanitize]="Qt 5 build under AddressSanitizer and UndefinedBehaviorSanitizer, and every test"
    [fuzz]="bounded fuzz runs of the receive path and the record reader"
    [package]="Debian package, its contents and its menu entry"
)
declare -A stage_deps=(
    [qt5]=""
    [qt6]="--with-qt6"
    [sanitize]=""
    [fuzz]="--with-fuzz"
    [package]=""
)

tests_passed=0
tests_failed=0

# Runs a command, showing its output, and adds the counts of the last ctest
# summary it printed to the totals.
counted() {
    local log rc=0
    log=$(mktemp)
    "$@" 2>&1 | tee "$log" || rc=$?
    local summary
    summary=$(grep -E '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    rm -f "$log"
    if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
        local failed=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]}
        echo "$((total - failed)) $failed" >>"$counts_file"
    fi
    return "$rc"
}

run_ctest() {
    local -a extra
    read -r -a extra <<<"${VELMAR_CTEST_ARGS:-}"
    counted ctest --test-dir "$1" --output-on-failure --no-tests=error \
        --parallel "${VELMAR_TEST_JOBS:-4}" "${extra[@]}"
}

stage_qt5() {
    # Installed under /usr, as the package stage packages this build.
    bash "$root/scripts/build.sh" "$build_base" -DCMAKE_INSTALL_PREFIX=/usr
    run_ctest "$build_base"
    check_start_script
}

# The README's first command: scripts/start.sh must end up running the window
# it built. start.sh execs the window, so its own process becomes the window.
check_start_script() {
    banner "scripts/start.sh starts the window (offscreen)"
    local window=$build_base/app/velmar-serial-port log config pid started=0
    log=$(mktemp)
    config=$(mktemp -d)
    QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$config VELMAR_BUILD_DIR=$build_base \
        bash "$root/scripts/start.sh" >"$log" 2>&1 &
    pid=$!
    for _ in $(seq 600); do
        if [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == "$window" ]]; then
            started=1
            break
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    ((started)) && sleep 2 && kill -0 "$pid" 2>/dev/null || started=0
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if ((!started)); then
        echo "test.sh: scripts/start.sh did not keep $window running:" >&2
        sed 's/^/  | /' "$log" >&2
    else
        echo "start.sh is running $window"
    fi
    rm -rf "$log" "$config"
    ((started))
}

stage_qt6() {
    export VELMAR_QT6_BUILD_DIR="$build_base-qt6-asan"
    export VELMAR_TEST_JOBS=${VELMAR_TEST_JOBS:-4}
    counted bash "$root/scripts/ci-qt6.sh" --sanitize
}

stage_sanitize() {
    export VELMAR_TEST_JOBS=${VELMAR_TEST_JOBS:-4}
    counted bash "$root/scripts/ci-sanitize.sh" "$build_base-asan"
}

stage_fuzz() {
    bash "$root/scripts/ci-fuzz.sh" "${VELMAR_FUZZ_SECONDS:-60}" "$build_base-fuzz"
}

stage_package() {
    # The qt5 stage's build is a Release build of everything the package
    # holds: packaging it spares a build of its own.
    if [[ " ${selected[*]} " == *" qt5 "* && " ${passed_stages[*]:-} " == *" qt5 "* ]]; then
        export VELMAR_PKG_BUILD_DIR="$build_base" VELMAR_PKG_REUSE_BUILD=1
    else
        export VELMAR_PKG_BUILD_DIR="$build_base-pkg"
    fi
    bash "$root/scripts/ci-package.sh"
}

banner() {
    echo
    echo "==== $* ===="
}

usage() {
    echo "Usage: scripts/test.sh [stage...]   stages: ${all_stages[*]}"
    echo "With no stage named: ${default_stages[*]}"
}

selected=()
if (($# > 0)); then
    selected=("$@")
elif [[ -n ${VELMAR_STAGES:-} ]]; then
    read -r -a selected <<<"$VELMAR_STAGES"
else
    selected=("${default_stages[@]}")
fi

deps_options=()
for stage in "${selected[@]}"; do
    if [[ $stage == -h || $stage == --help ]]; then
        usage
        exit 0
    fi
    if [[ ! -v stage_title[$stage] ]] || ! declare -F "stage_$stage" >/dev/null; then
        echo "test.sh: unknown stage: $stage" >&2
        usage >&2
        exit 2
    fi
    read -r -a options <<<"${stage_deps[$stage]}"
    deps_options+=("${options[@]}")
done

banner "install-deps"
bash "$root/scripts/install-deps.sh" "${deps_options[@]}"

# Ninja keeps both cores busy through the many small test programs better
# than make does. A build directory keeps the generator it was made with.
if [[ -z ${CMAKE_GENERATOR:-} ]] && command -v ninja >/dev/null; then
    export CMAKE_GENERATOR=Ninja
fi

counts_file=$(mktemp)
trap 'rm -f "$counts_file"' EXIT

passed_stages=()
failed_stages=()
stage_times=()
index=0
run_started=$SECONDS
for stage in "${selected[@]}"; do
    index=$((index + 1))
    banner "[$index/${#selected[@]}] $stage: ${stage_title[$stage]}"
    started=$SECONDS
    set +e
    (
        set -e
        "stage_$stage"
    )
    rc=$?
    set -e
    elapsed=$((SECONDS - started))
    stage_times+=("$stage $((elapsed / 60)) min $((elapsed % 60)) s")
    echo "test.sh: stage $stage took $((elapsed / 60)) min $((elapsed % 60)) s"
    if ((rc == 0)); then
        passed_stages+=("$stage")
    else
        failed_stages+=("$stage")
        echo "test.sh: stage $stage failed (exit status $rc)" >&2
    fi
done

while read -r passed failed; do
    tests_passed=$((tests_passed + passed))
    tests_failed=$((tests_failed + failed))
done <"$counts_file"

banner "summary"
for line in "${stage_times[@]}"; do
    echo "time: $line"
done
total=$((SECONDS - run_started))
echo "time: all stages $((total / 60)) min $((total % 60)) s"
echo "stages passed: ${passed_stages[*]:-none}"
echo "stages failed: ${failed_stages[*]:-none}"
echo "tests: $tests_passed passed, $tests_failed failed"
if ((${#failed_stages[@]} > 0)); then
    exit 1
fi
