#!/usr/bin/env bash
# Installs what is missing, builds the tool and its simulated unit, and starts
# the tool.
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

# Only what starting needs, the tool and its simulated unit: the test
# programs are most of a first build, and scripts/test.sh builds them.
VELMAR_TARGETS="velmar-serial-port velmar-unit-sim" bash "$root/scripts/build.sh" "$build_dir"
exec "$build_dir/app/velmar-serial-port"
