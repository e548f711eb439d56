#!/usr/bin/env bash
# Builds the tool, its tools and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs the whole test suite under them.
# Any sanitizer report fails the test that triggered it, and so the run.
#
# Usage: scripts/ci-sanitize.sh [build-dir]
#   build-dir   default build-asan in the repository root
# Environment: CXX (default the system's c++, gcc on Debian), VELMAR_JOBS
# (compile jobs, default 2), VELMAR_CTEST_ARGS (passed to ctest, for example
# "-R tst_frame").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${1:-$root/build-asan}
jobs=${VELMAR_JOBS:-2}

# A tree configured by another compiler (the fuzz build uses clang) cannot be
# switched over in place.
if [[ -f $build_dir/CMakeCache.txt ]]; then
    cached=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
    wanted=$(command -v "${CXX:-c++}" || true)
    if [[ -n $wanted && $(readlink -f "$cached") != $(readlink -f "$wanted") ]]; then
        rm -rf "$build_dir/CMakeCache.txt" "$build_dir/CMakeFiles"
    fi
fi

source "$root/scripts/sanitizer-env.sh"
cmake -S "$root" -B "$build_dir" "${sanitizer_cmake_args[@]}" >/dev/null
cmake --build "$build_dir" -j"$jobs"

read -r -a extra <<<"${VELMAR_CTEST_ARGS:-}"
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error \
    --parallel "${VELMAR_TEST_JOBS:-1}" "${extra[@]}"
