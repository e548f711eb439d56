#!/usr/bin/env bash
# Builds the tool, its tools, tests and benchmarks against Qt 6 and runs
# every test.
# Compiler warnings are errors here: the Qt 6 build must stay as clean as the
# Qt 5 one.
#
# Usage: scripts/ci-qt6.sh [--sanitize] [extra cmake arguments...]
#   --sanitize  build with AddressSanitizer and UndefinedBehaviorSanitizer
#               (no benchmarks) and run the tests under them, as
#               scripts/ci-sanitize.sh does for Qt 5: CI's one build against
#               Qt 6 is also its sanitizer build
#   Builds in build-qt6/ (VELMAR_QT6_BUILD_DIR overrides it). VELMAR_JOBS sets
#   the build's parallelism (default 2); VELMAR_CTEST_ARGS is passed to ctest
#   (for example "-R tst_frame").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VELMAR_QT6_BUILD_DIR:-$root/build-qt6}
jobs=${VELMAR_JOBS:-2}

build_args=(-DCMAKE_BUILD_TYPE="${VELMAR_BUILD_TYPE:-Release}" -DVELMAR_BUILD_BENCH=ON)
case "${1:-}" in
-h | --help)
    sed -n '2,/^set -euo/{/^#/p}' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
--sanitize)
    shift
    source "$root/scripts/sanitizer-env.sh"
    build_args=("${sanitizer_cmake_args[@]}")
    ;;
esac

banner() {
    echo
    echo "==== ci-qt6: $* ===="
}

fail() {
    echo "ci-qt6.sh: FAILED: $*" >&2
    exit 1
}

qt6_packages=(qt6-base-dev qt6-serialport-dev)

banner "Qt 6 packages"
if grep -q -- '--with-qt6' "$root/scripts/install-deps.sh" 2>/dev/null; then
    bash "$root/scripts/install-deps.sh" --with-qt6
else
    missing=()
    for package in "${qt6_packages[@]}"; do
        [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true) == *"ok installed"* ]] ||
            missing+=("$package")
    done
    if ((${#missing[@]} > 0)); then
        if ((EUID == 0)); then
            as_root=()
        elif command -v sudo >/dev/null; then
            as_root=(sudo)
        else
            fail "installing ${missing[*]} needs root or sudo"
        fi
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q update
        "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -q \
            install --no-install-recommends "${missing[@]}"
    else
        echo "installed: ${qt6_packages[*]}"
    fi
fi

banner "configure $build_dir with VELMAR_QT6=ON"
# Everything the Qt 5 build has: tools, tests and, unless sanitized, benchmarks.
cmake -S "$root" -B "$build_dir" -DVELMAR_QT6=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DVELMAR_BUILD_TOOLS=ON -DVELMAR_BUILD_TESTS=ON "${build_args[@]}" "$@"
grep -q '^VELMAR_QT6:BOOL=ON$' "$build_dir/CMakeCache.txt" || fail "the cache does not select Qt 6"

banner "build (warnings are errors)"
build_log=$(mktemp)
trap 'rm -f "$build_log"' EXIT
rc=0
cmake --build "$build_dir" -j"$jobs" 2>&1 | tee "$build_log" || rc=$?
((rc == 0)) || fail "the Qt 6 build failed (status $rc)"
if grep -E '(^|[^-])warning:' "$build_log" >/dev/null; then
    grep -E '(^|[^-])warning:' "$build_log" >&2
    fail "the Qt 6 build printed warnings"
fi

binary=$build_dir/app/velmar-serial-port
[[ -x $binary ]] || fail "no $binary after the build"
ldd "$binary" | grep -q 'libQt6Widgets' || fail "$binary does not link Qt 6"
ldd "$binary" | grep -q 'libQt5' && fail "$binary also links Qt 5"
echo "$(basename "$binary") links $(ldd "$binary" | grep -o 'libQt6[A-Za-z]*' | sort -u | tr '\n' ' ')"

banner "every test against Qt 6"
read -r -a ctest_extra <<<"${VELMAR_CTEST_ARGS:-}"
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error \
    --parallel "${VELMAR_TEST_JOBS:-1}" "${ctest_extra[@]}" ||
    fail "tests failed against Qt 6"

banner "passed"
