#!/usr/bin/env bash
# Builds the Debian package and checks it the way a new user would meet it:
# its metadata and file list, lintian's verdict (any error fails, and so does
# any hardening-* tag), that hardening-check passes on every program, that every
# library the programs load comes from a package it depends on, that
# velmar-ctl answers --help and --version without a display, that
# systemd-analyze verify accepts the exporter's systemd unit as unpacked, and
# that the menu entry of an unpacked copy starts the tool.
#
# Usage: scripts/ci-package.sh [--qt6]
#   Builds in build-pkg/ (build-pkg-qt6/ with --qt6); VELMAR_PKG_BUILD_DIR
#   overrides it. Leaves the .deb in the build directory.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${VELMAR_JOBS:-2}
start_seconds=${VELMAR_PKG_START_SECONDS:-4}
window_seconds=${VELMAR_PKG_WINDOW_SECONDS:-20}

qt6=false
for arg in "$@"; do
    case "$arg" in
    --qt6) qt6=true ;;
    -h | --help)
        sed -n '2,/^set -euo/{/^#/p}' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "ci-package.sh: unknown option: $arg" >&2
        exit 2
        ;;
    esac
done

if $qt6; then
    qt_major=6
    build_dir=${VELMAR_PKG_BUILD_DIR:-$root/build-pkg-qt6}
    qt_runtime=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6network6)
else
    qt_major=5
    build_dir=${VELMAR_PKG_BUILD_DIR:-$root/build-pkg}
    qt_runtime=(libqt5core5a libqt5gui5 libqt5widgets5 libqt5serialport5 libqt5network5)
fi

banner() {
    echo
    echo "==== ci-package: $* ===="
}

fail() {
    echo "ci-package.sh: FAILED: $*" >&2
    exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

banner "packages needed to build and check (Qt $qt_major)"
deps_options=(--with-package)
$qt6 && deps_options+=(--with-qt6)
bash "$root/scripts/install-deps.sh" "${deps_options[@]}"

if [[ -n ${VELMAR_PKG_REUSE_BUILD:-} ]]; then
    # Another stage built everything the package holds here, in Release.
    banner "package the Release build in $build_dir"
    grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build_dir/CMakeCache.txt" ||
        fail "$build_dir is not a Release build"
    grep -q '^CMAKE_INSTALL_PREFIX:PATH=/usr$' "$build_dir/CMakeCache.txt" ||
        fail "$build_dir does not install under /usr"
    grep -q '^VELMAR_HARDENING:BOOL=ON$' "$build_dir/CMakeCache.txt" ||
        fail "$build_dir is not built with the hardening flags"
    cmake --build "$build_dir" -j"$jobs"
else
    banner "configure and build Release in $build_dir"
    # The package's files live under /usr, and its configuration in /etc.
    cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DVELMAR_QT6="$($qt6 && echo ON || echo OFF)" \
        -DVELMAR_BUILD_TOOLS=ON -DVELMAR_BUILD_TESTS=OFF -DVELMAR_BUILD_BENCH=OFF \
        -DVELMAR_HARDENING=ON
    cmake --build "$build_dir" -j"$jobs"
fi

banner "cpack -G DEB"
rm -f "$build_dir"/velmar-serial-port_*.deb
(cd "$build_dir" && cpack -G DEB)
shopt -s nullglob
debs=("$build_dir"/velmar-serial-port_*.deb)
shopt -u nullglob
((${#debs[@]} == 1)) || fail "expected one velmar-serial-port_*.deb in $build_dir, found ${#debs[@]}"
deb=${debs[0]}
echo "package: $deb"

banner "metadata (dpkg-deb --info)"
dpkg-deb --info "$deb"
field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == velmar-serial-port ]] || fail "Package is '$(field Package)'"
[[ -n $(field Version) ]] || fail "no Version"
[[ $(field Architecture) == "$(dpkg --print-architecture)" ]] ||
    fail "Architecture is '$(field Architecture)'"
[[ $(field Maintainer) == *@* ]] || fail "Maintainer has no address: '$(field Maintainer)'"
[[ -n $(field Section) ]] || fail "no Section"
[[ -n $(field Description) ]] || fail "no Description"
depends=$(field Depends)
depends_names=$(sed -E 's/[,|]/\n/g' <<<"$depends" | sed -E 's/\(.*\)//; s/[[:space:]]//g' | sed '/^$/d')
for package in "${qt_runtime[@]}"; do
    grep -qx "$package" <<<"$depends_names" || fail "Depends lacks $package: $depends"
done
# Not a library: the charting script velmar-ctl report inlines into its pages.
grep -qx libjs-dygraphs <<<"$depends_names" || fail "Depends lacks libjs-dygraphs: $depends"
echo "Depends names ${qt_runtime[*]} libjs-dygraphs"

banner "contents (dpkg-deb --contents)"
dpkg-deb --contents "$deb"
contents=$(dpkg-deb --contents "$deb" | awk '{ print $NF }' | sed 's|^\./||')
programs=(velmar-serial-port velmar-ctl velmar-unit-sim velmar-exporter)
expected=(usr/share/applications/velmar-serial-port.desktop
    usr/share/icons/hicolor/scalable/apps/velmar-serial-port.svg
    usr/share/doc/velmar-serial-port/copyright
    usr/share/doc/velmar-serial-port/changelog.gz
    usr/share/lintian/overrides/velmar-serial-port)
for program in "${programs[@]}"; do
    expected+=("usr/bin/$program" "usr/share/man/man1/$program.1.gz")
done
expected+=(usr/lib/systemd/system/velmar-exporter.service etc/velmar-exporter.conf)
for file in prometheus-velmar.yml velmar-alerts.yml velmar-alerts.test.yml grafana-velmar.json; do
    expected+=("usr/share/velmar-serial-port/prometheus/$file")
done
for path in "${expected[@]}"; do
    grep -qx "$path" <<<"$contents" || fail "package lacks $path"
done
echo "package holds the four programs and their manual pages, the menu entry," \
    "the icon, the copyright and the changelog, the exporter's service, configuration" \
    "and Prometheus files"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/velmar-exporter.conf ||
    fail "/etc/velmar-exporter.conf is not a conffile"

banner "lintian"
# Errors fail the stage; warnings and infos are shown for a person to judge.
lintian_log=$work/lintian.log
lintian_rc=0
lintian --display-info --fail-on error "$deb" >"$lintian_log" 2>&1 || lintian_rc=$?
grep -v '^running with root privileges' "$lintian_log" | sed 's/^/  | /'
if grep -q '^E: ' "$lintian_log" || ((lintian_rc != 0)); then
    fail "lintian reports errors (status $lintian_rc)"
fi
echo "lintian: no errors ($(grep -c '^W: ' "$lintian_log" || true) warnings," \
    "$(grep -c '^I: ' "$lintian_log" || true) infos)"

banner "unpack into a throw-away root (dpkg -x)"
fake_root=$work/root
dpkg -x "$deb" "$fake_root"
find "$fake_root" -type f | sed "s|^$fake_root||" | sort

banner "hardening (lintian's hardening-* tags, hardening-check)"
# The programs carry Debian's hardening flags (VELMAR_HARDENING): lintian
# names none of its hardening tags, and hardening-check finds every
# protection in every installed program. Its control-flow check is left out:
# Debian 12's own C start files (Scrt1.o, crti.o, crtn.o) carry no IBT/SHSTK
# note, so no program linked on it passes (/usr/bin/ls does not either);
# the programs' own code is compiled with -fcf-protection all the same.
if grep -E '^[EWIXP]: .* hardening-' "$lintian_log"; then
    fail "lintian reports hardening tags"
fi
# A program the package's lintian overrides name as having no fortifiable
# call is let off hardening-check's fortify test only, and only when every
# compile of the build asked for fortification.
unfortified=$(sed -n 's|^velmar-serial-port: hardening-no-fortify-functions \[usr/bin/\(.*\)\]$|\1|p' \
    "$fake_root/usr/share/lintian/overrides/velmar-serial-port")
if [[ -f $build_dir/build.ninja ]]; then
    # The FLAGS of each compile statement; link statements have their own.
    compile_flags() {
        awk '/^build /{compile = $0 ~ /: CXX_COMPILER__/; output = $2}
             compile && /^ +FLAGS = /{print output, $0}' "$build_dir/build.ninja"
    }
    compiles=$(compile_flags | wc -l)
    without_flag=$(compile_flags | grep -v -e '-D_FORTIFY_SOURCE=2' | cut -d' ' -f1 || true)
else
    compiles=$(find "$build_dir" -path '*/CMakeFiles/*' -name flags.make | wc -l)
    without_flag=$(find "$build_dir" -path '*/CMakeFiles/*' -name flags.make -exec grep -L -e '-D_FORTIFY_SOURCE=2' {} +)
fi
((compiles > 0)) || fail "found no compile flags in $build_dir"
[[ -z $without_flag ]] || fail "compiled without -D_FORTIFY_SOURCE=2: $without_flag"
for program in "${programs[@]}"; do
    binary=$fake_root/usr/bin/$program
    options=(--nocfprotection)
    grep -qx "$program" <<<"$unfortified" && options+=(--nofortify)
    hardening-check "${options[@]}" "$binary" | sed "s|$fake_root||; s/^/  | /" ||
        fail "hardening-check fails on $program"
done
echo "no hardening tag from lintian; hardening-check passes on ${programs[*]}"

banner "every library the programs load comes from a package in Depends"
# Debian 12 merged /lib into /usr/lib, so dpkg -S may know a library under
# either name.
owner_of() {
    local path owner
    for path in "$1" "${1#/usr}" "/usr${1}"; do
        owner=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1) || true
        if [[ -n $owner ]]; then
            echo "$owner"
            return
        fi
    done
}
for program in "${programs[@]}"; do
    binary=$fake_root/usr/bin/$program
    ldd_out=$(ldd "$binary") || fail "ldd $program failed"
    if grep -q "not found" <<<"$ldd_out"; then
        fail "$program misses libraries: $(grep 'not found' <<<"$ldd_out")"
    fi
    while read -r library; do
        resolved=$(awk -v lib="$library" '$1 == lib { print $3 }' <<<"$ldd_out")
        [[ -n $resolved ]] || fail "$program: cannot resolve $library"
        owner=$(owner_of "$(readlink -f "$resolved")")
        [[ -n $owner ]] || owner=$(owner_of "$resolved")
        [[ -n $owner ]] || fail "$program: no package owns $resolved"
        grep -qx "$owner" <<<"$depends_names" ||
            fail "$program needs $library from $owner, which Depends does not name"
        printf '  %-20s %-28s %s\n' "$program" "$library" "$owner"
    done < <(objdump -p "$binary" | awk '$1 == "NEEDED" { print $2 }')
done

banner "velmar-ctl --help and --version, without a display"
ctl=$fake_root/usr/bin/velmar-ctl
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
for command in "" ports watch set; do
    for help_option in --help --help-all; do
        # shellcheck disable=SC2086 # an empty command is no word at all
        help=$("${no_display[@]}" timeout 10 "$ctl" $command $help_option) ||
            fail "velmar-ctl $command $help_option exited with status $?"
        usage=$(head -n 1 <<<"$help")
        [[ $usage == "Usage: velmar-ctl ${command:-COMMAND}"* ]] ||
            fail "velmar-ctl $command $help_option starts with '$usage'"
    done
    # shellcheck disable=SC2086
    version=$("${no_display[@]}" timeout 10 "$ctl" $command --version) ||
        fail "velmar-ctl $command --version exited with status $?"
    [[ $version == "velmar-ctl $(field Version)" ]] ||
        fail "velmar-ctl $command --version printed '$version'"
    echo "  velmar-ctl${command:+ $command}: $usage / $version"
done

banner "velmar-exporter --help and --version, its service and alert rules"
exporter=$fake_root/usr/bin/velmar-exporter
usage=$("${no_display[@]}" timeout 10 "$exporter" --help | head -n 1) ||
    fail "velmar-exporter --help exited with status $?"
[[ $usage == "Usage: velmar-exporter"* ]] || fail "velmar-exporter --help starts with '$usage'"
version=$("${no_display[@]}" timeout 10 "$exporter" --version) ||
    fail "velmar-exporter --version exited with status $?"
[[ $version == "velmar-exporter $(field Version)" ]] ||
    fail "velmar-exporter --version printed '$version'"
service=$fake_root/usr/lib/systemd/system/velmar-exporter.service
grep -qx 'ExecStart=/usr/bin/velmar-exporter --config /etc/velmar-exporter.conf' "$service" ||
    fail "the service does not start /usr/bin/velmar-exporter with /etc/velmar-exporter.conf"
# Checked as installed: systemd-analyze looks for the program and the units
# it names under the throw-away root, which gets this machine's own units
# beside the package's, and for the manual page where the package put it.
cp -rn /usr/lib/systemd/system/. "$fake_root/usr/lib/systemd/system/"
MANPATH=$fake_root/usr/share/man systemd-analyze verify --root="$fake_root" \
    velmar-exporter.service || fail "systemd-analyze verify rejects the packaged service"
exposure=$(systemd-analyze security --offline=true "$service" |
    sed -n 's/^.*Overall exposure level for [^:]*: \(.*\)$/\1/p')
echo "  systemd-analyze verify: no complaints; systemd-analyze security: $exposure"
if command -v promtool >/dev/null; then
    (cd "$fake_root/usr/share/velmar-serial-port/prometheus" &&
        promtool check config prometheus-velmar.yml && promtool test rules velmar-alerts.test.yml) ||
        fail "promtool rejects the packaged Prometheus files"
fi
echo "  $usage / $version; the service starts the packaged program"

banner "manual pages (groff -man -ww, lexgrog)"
if command -v groff >/dev/null && command -v lexgrog >/dev/null; then
    for program in "${programs[@]}"; do
        page=$fake_root/usr/share/man/man1/$program.1.gz
        warnings=$(zcat "$page" | groff -man -ww -z 2>&1) ||
            fail "groff cannot format $program.1: $warnings"
        [[ -z $warnings ]] || fail "groff warns about $program.1: $warnings"
        whatis=$(lexgrog "$page") || fail "lexgrog finds no NAME line in $program.1"
        [[ $whatis == *"\"$program - "* ]] || fail "$program.1 names another program: $whatis"
        echo "  ${whatis#"$fake_root"}"
    done
else
    echo "groff or lexgrog missing; lintian's check of the manual pages stands alone"
fi

banner "menu entry"
desktop=$fake_root/usr/share/applications/velmar-serial-port.desktop
cat "$desktop"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the menu entry"
    echo "desktop-file-validate: no complaints"
else
    echo "desktop-file-validate not available; skipped"
fi
entry_value() { sed -n "s/^$1=//p" "$desktop" | head -n 1; }
[[ $(entry_value Name) == "Velmar Serial Port" ]] || fail "Name is '$(entry_value Name)'"
[[ $(entry_value Type) == Application ]] || fail "Type is '$(entry_value Type)'"
icon=$(entry_value Icon)
[[ -f $fake_root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] ||
    fail "Icon=$icon has no file in the hicolor theme"
exec_line=$(entry_value Exec)
read -r -a exec_words <<<"$exec_line"
exec_words=("${exec_words[@]//%[fFuUick]/}")
command=$fake_root/usr/bin/${exec_words[0]}
[[ -x $command ]] || fail "Exec=$exec_line does not name a program in usr/bin"
echo "Exec=$exec_line -> ${command#"$fake_root"}; Icon=$icon found"

# Runs the menu entry's command with a fresh home and settings store and
# expects it to be still running, not crashed, when the timeout stops it.
fresh_user_env() {
    local home
    home=$(mktemp -d "$work/home.XXXX")
    mkdir -m 700 "$home/runtime"
    echo "HOME=$home" "XDG_CONFIG_HOME=$home/.config" "XDG_RUNTIME_DIR=$home/runtime"
}

start_offscreen() {
    local log=$work/offscreen.log rc=0
    # shellcheck disable=SC2046 # the words are NAME=value pairs without blanks
    env $(fresh_user_env) QT_QPA_PLATFORM=offscreen \
        timeout "$start_seconds" "$command" "${exec_words[@]:1}" >"$log" 2>&1 || rc=$?
    sed 's/^/  | /' "$log"
    ((rc == 124)) || fail "offscreen: the tool exited with status $rc before ${start_seconds}s"
    echo "offscreen: still running after ${start_seconds}s"
}

# On a virtual X display, waits (up to window_seconds) for the window titled
# "Velmar Serial Port", then checks the tool is still alive and stops it.
start_on_x() {
    local log=$work/xvfb.log rc=0
    # shellcheck disable=SC2016,SC2046
    env -u QT_QPA_PLATFORM $(fresh_user_env) xvfb-run -a bash -c '
        seconds=$1
        shift
        "$@" &
        pid=$!
        window=
        for _ in $(seq $((seconds * 10))); do
            window=$(xwininfo -root -tree | grep -F "\"Velmar Serial Port\": (\"velmar-serial-port\"" || true)
            [[ -n $window ]] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        alive=false
        kill -0 "$pid" 2>/dev/null && alive=true
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        echo "window: ${window:-none}"
        [[ -n $window ]] && $alive
    ' start_on_x "$window_seconds" "$command" "${exec_words[@]:1}" >"$log" 2>&1 || rc=$?
    sed 's/^/  | /' "$log"
    ((rc == 0)) || fail "xvfb: no \"Velmar Serial Port\" window, or the tool died (status $rc)"
    echo "xvfb: the menu entry's command opened the \"Velmar Serial Port\" window"
}

banner "start the menu entry's command, offscreen"
start_offscreen

if command -v xvfb-run >/dev/null && command -v xwininfo >/dev/null; then
    banner "start the menu entry's command on a virtual X display"
    start_on_x
else
    echo "xvfb-run or xwininfo missing; the X display check is skipped"
fi

banner "start the packaged simulator"
sim_out=$work/sim.out
"$fake_root/usr/bin/velmar-unit-sim" </dev/null >"$sim_out" 2>&1 &
sim_pid=$!
pty=
for _ in $(seq 50); do
    pty=$(head -n 1 "$sim_out" 2>/dev/null || true)
    [[ -n $pty ]] && break
    sleep 0.1
done
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
[[ $pty == /dev/* ]] || fail "velmar-unit-sim printed no pseudo-terminal path: $(cat "$sim_out")"
echo "velmar-unit-sim offered $pty"

banner "passed: $(basename "$deb")"
