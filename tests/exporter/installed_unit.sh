#!/usr/bin/env bash
# The systemd unit as `cmake --install --prefix` leaves it in a throw-away
# prefix, not the one configured: it starts the program installed with it,
# with the configuration installed with it; systemd-analyze verify accepts
# it; and its sandbox keeps systemd-analyze security's exposure at 2.0 or
# below.
#
# Usage: installed_unit.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: installed_unit.sh BUILD_DIR}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() {
    echo "installed_unit.sh: FAILED: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
unit=$prefix/lib/systemd/system/velmar-exporter.service
[[ -f $unit ]] || fail "no unit at $unit"
program=$prefix/bin/velmar-exporter
config=$prefix/etc/velmar-exporter.conf
grep -qx "ExecStart=$program --config $config" "$unit" ||
    fail "the unit starts $(grep '^ExecStart=' "$unit"), not $program with $config"
[[ -x $program ]] || fail "$program is not there"
[[ -f $config ]] || fail "$config is not there"
# The manual page it points to is checked where it was installed too.
MANPATH=$prefix/share/man systemd-analyze verify "$unit" || fail "systemd-analyze verify rejects it"
score=$(systemd-analyze security --offline=true "$unit" |
    sed -n 's/^.*Overall exposure level for [^:]*: \([0-9.]*\) .*$/\1/p')
[[ -n $score ]] || fail "systemd-analyze security gave no score"
awk -v score="$score" 'BEGIN { exit !(score <= 2.0) }' || fail "exposure $score, above 2.0"
echo "installed under $prefix: $(grep '^ExecStart=' "$unit"); verified; exposure $score"
