#!/usr/bin/env bash
# Installs what is missing, builds the four programs (the window, velmar-ctl,
# the simulated unit and the exporter) with what `cmake --install` copies
# besides them, and starts the window.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${VELMAR_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"

# Checked before building, and after installing so that the xvfb-run the
# message suggests is already there.
if [[ -z ${QT_QPA_PLATFORM:-} && -z ${DISPLAY:-} ]]; then
    if [[ -z ${WAYLAND_DISPLAY:-} ]]; then
        echo "velmar-serial-port: no display available; run it on a desktop, or under a virtual one: xvfb-run -a scripts/start.sh" >&2
        exit 1
    fi
    # Qt 5 picks xcb by default, which needs an X server.
    export QT_QPA_PLATFORM=wayland
fi

# The programs and the compressed manual pages, so that `cmake --install`
# works afterwards; not the test programs, which are most of a first build
# and which scripts/test.sh builds.
VELMAR_TARGETS="velmar-serial-port velmar-ctl velmar-unit-sim velmar-exporter velmar_packaging_docs" \
    bash "$root/scripts/build.sh" "$build_dir"
exec "$build_dir/app/velmar-serial-port"
