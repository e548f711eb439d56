#!/usr/bin/env bash
# Runs a program on a virtual X desktop of the given dpi, set up as a desktop
# set to larger text reports it: as the X server's dpi and as the Xft.dpi
# resource, which is what Qt reads.
# Usage: tests/app/on_virtual_desktop.sh DPI PROGRAM [ARGUMENTS...]
# Exits 77 (CTest's skip) without xvfb-run.
set -euo pipefail

self=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")
dpi=$1
shift

if [[ -z ${VELMAR_DESKTOP_DPI:-} ]]; then
    if ! command -v xvfb-run >/dev/null; then
        echo "on_virtual_desktop.sh: no xvfb-run; scripts/install-deps.sh installs it" >&2
        exit 77
    fi
    export VELMAR_DESKTOP_DPI=$dpi
    # -noreset: the server would forget the resource when xprop disconnects.
    exec xvfb-run -a -s "-screen 0 3840x2400x24 -dpi $dpi -noreset" bash "$self" "$dpi" "$@"
fi

xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$dpi
"
exec "$@"
