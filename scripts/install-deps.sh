#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, test and run the tool.
# Only missing packages are installed, so running it again costs nothing.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: scripts/install-deps.sh [--with-qt6] [--with-fuzz] [--with-package] [--check]

Installs, through apt-get (with sudo when not root), what is missing of:
  the compiler, CMake, Ninja, simdjson, rapidcheck and the Qt 5 development packages;
  the Qt runtime plugins and fonts the window needs;
  Xvfb and xprop, to run the window without a desktop at a chosen dpi;
  Google Benchmark, and rapidcheck for the tests' generated inputs;
  dygraphs, which report pages inline, and Chromium, which a test opens one in.
  civetweb, OpenSSL, yaml-cpp, libcrypt and Prometheus, for velmar-exporter
  and its tests, with openssl and systemd's systemd-analyze;
  rapidcheck and ser2net, for the tests.

  --with-qt6   also the Qt 6 development packages
  --with-fuzz  also clang and its fuzzing runtime
  --with-package  also what building and checking the Debian package needs
  --check      only list what is missing; exit 1 if anything is
EOF
}

# simdjson parses the JSON records velmar-ctl report reads; rapidcheck runs
# the tests' properties over generated records.
build_packages=(build-essential cmake ninja-build libsimdjson-dev librapidcheck-dev)
qt5_packages=(qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev)
runtime_packages=(libqt5gui5 libqt5serialport5 qtwayland5 fonts-dejavu-core libsimdjson14)
# xprop (x11-utils) sets the dpi a virtual desktop reports to Qt; xwininfo
# (x11-utils too) finds the window a packaged copy opens.
headless_packages=(xvfb xauth x11-utils)
bench_packages=(libbenchmark-dev)
# Tests state rules that hold for every input as properties over generated
# inputs, from fixed seeds.
test_packages=(librapidcheck-dev)
# velmar-ctl report inlines dygraphs into its pages; a test opens one in a
# headless Chromium, with no network.
report_packages=(libjs-dygraphs chromium)
# velmar-exporter serves HTTP through civetweb and TLS through OpenSSL, reads
# its web configuration with yaml-cpp and checks passwords with libcrypt; its
# tests scrape it with a real Prometheus server, check its metrics and alert
# rules with promtool, make certificates with openssl and check its systemd
# unit with systemd-analyze.
exporter_packages=(libcivetweb-dev libssl-dev libyaml-cpp-dev libcrypt-dev prometheus openssl
    systemd)
# Tests state properties over generated inputs with rapidcheck, and reach
# simulated units through a real terminal server, Debian's ser2net.
test_packages=(librapidcheck-dev ser2net)
qt6_packages=(qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libgl-dev)
fuzz_packages=(clang libclang-rt-14-dev)
# dpkg-shlibdeps works out the package's Depends, lintian judges the package,
# desktop-file-validate checks the menu entry, xwininfo finds the window a
# packaged copy opens, hardening-check (devscripts) checks the programs'
# hardening.
package_packages=(dpkg-dev lintian desktop-file-utils x11-utils devscripts)

with_qt6=false
with_fuzz=false
with_package=false
check_only=false
for arg in "$@"; do
    case "$arg" in
    --with-qt6) with_qt6=true ;;
    --with-fuzz) with_fuzz=true ;;
    --with-package) with_package=true ;;
    --check) check_only=true ;;
    -h | --help)
        usage
        exit 0
        ;;
    *)
        echo "install-deps.sh: unknown option: $arg" >&2
        usage >&2
        exit 2
        ;;
    esac
done

wanted=("${build_packages[@]}" "${qt5_packages[@]}" "${runtime_packages[@]}"
    "${headless_packages[@]}" "${bench_packages[@]}" "${report_packages[@]}"
    "${exporter_packages[@]}" "${test_packages[@]}")
if $with_qt6; then
    wanted+=("${qt6_packages[@]}")
fi
if $with_fuzz; then
    wanted+=("${fuzz_packages[@]}")
fi
if $with_package; then
    wanted+=("${package_packages[@]}")
fi

is_installed() {
    local status
    status=$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)
    [[ $status == *"ok installed"* ]]
}

missing=()
for package in "${wanted[@]}"; do
    if ! is_installed "$package"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps.sh: every needed package is installed"
    exit 0
fi

echo "install-deps.sh: missing: ${missing[*]}"
if $check_only; then
    exit 1
fi

if ((EUID == 0)); then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "install-deps.sh: installing needs root; run it as root or install sudo" >&2
    exit 1
fi

apt_options=(-y -q -o Acquire::Retries=3 -o DPkg::Lock::Timeout=600)
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_options[@]}" update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${apt_options[@]}" install --no-install-recommends "${missing[@]}"

still_missing=()
for package in "${missing[@]}"; do
    if ! is_installed "$package"; then
        still_missing+=("$package")
    fi
done
if ((${#still_missing[@]} > 0)); then
    echo "install-deps.sh: still missing after apt-get: ${still_missing[*]}" >&2
    exit 1
fi
echo "install-deps.sh: installed ${missing[*]}"
