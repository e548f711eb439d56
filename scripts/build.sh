#!/usr/bin/env bash
# Configures and builds the tool, its tests, tools and benchmarks.
# Usage: scripts/build.sh [build-dir] [extra cmake arguments...]
# The build directory defaults to build/ in the repository. VELMAR_TARGETS
# names the only targets to build (for example "velmar-serial-port").
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

build_dir="$root/build"
if (($# > 0)) && [[ $1 != -* ]]; then
    build_dir=$1
    shift
fi

# Ninja when it is there: it keeps both cores busier than make. A build
# directory keeps the generator it was made with.
if [[ -z ${CMAKE_GENERATOR:-} ]] && command -v ninja >/dev/null; then
    export CMAKE_GENERATOR=Ninja
fi

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE="${VELMAR_BUILD_TYPE:-Release}" "$@"
targets=()
for target in ${VELMAR_TARGETS:-}; do
    targets+=(--target "$target")
done
cmake --build "$build_dir" -j"${VELMAR_JOBS:-$(nproc)}" "${targets[@]}"
