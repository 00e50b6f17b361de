#!/usr/bin/env bash
# Installs what building, testing and running the project needs on Debian 12 (as root).
#   scripts/install-deps.sh                      the packages of the Linux build and tests
#   scripts/install-deps.sh --build              those of the Linux build alone (the test
#                                                command's first step)
#   scripts/install-deps.sh --tests              those only the tests use (the test command
#                                                installs them beside the build)
#   scripts/install-deps.sh --demo               only those that building and running the demo needs
#   scripts/install-deps.sh --windows-leg        the Windows leg's cross-compilers, wine and tools
#   scripts/install-deps.sh --sources DIR SOURCE...
#                                                Debian's source packages SOURCE into DIR
# Source packages are downloaded by apt from a deb-src entry of Debian 12's main archive
# (added when missing): apt checks the .dsc against the archive's signed index, and every
# file named in the .dsc is checked against its SHA-256 sum there, also when DIR already
# holds it from an earlier run (then nothing is downloaded).
set -euo pipefail

install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # A CI machine is set up once and thrown away: dpkg need not wait for every unpacked
    # file to reach the disk.
    local options=()
    if [ -n "${CI:-}" ]; then options=(-o Dpkg::Options::=--force-unsafe-io); fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${options[@]}" "${missing[@]}"
  fi
}

# Adds a deb-src entry for Debian 12's main archive when there is none. Returns 0 when it
# added one (apt's lists then lack the source index until the next update).
add_source_entry() {
  local list=/etc/apt/sources.list.d/jobrunner-debian-src.sources
  if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ ||
    grep -qs '^deb-src .*bookworm main' /etc/apt/sources.list; then
    return 1
  fi
  cat >"$list" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
}

# verify_dsc DSC: every file the .dsc names is in its folder with the listed SHA-256 sum.
verify_dsc() {
  local dsc=$1 folder
  folder=$(dirname "$dsc")
  awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on && NF == 3 { print $1 "  " $3 }' \
    "$dsc" | (cd "$folder" && sha256sum --check --quiet --status)
}

fetch_sources() {
  local dir=$1 source dsc
  shift
  install_packages dpkg-dev
  mkdir -p "$dir"
  add_source_entry || true
  for source in "$@"; do
    dsc=$(compgen -G "$dir/${source}_*.dsc" | head -n 1 || true)
    if [ -n "$dsc" ] && verify_dsc "$dsc"; then continue; fi
    rm -f "$dir/${source}"_*
    # The lists of an earlier update may hold the source index already.
    apt-cache showsrc "$source" >/dev/null 2>&1 || apt-get update -qq
    (cd "$dir" && apt-get source --download-only -qq "$source" 2>&1 |
      grep -v 'unsandboxed as root' || true)
    dsc=$(compgen -G "$dir/${source}_*.dsc" | head -n 1 || true)
    if [ -z "$dsc" ] || ! verify_dsc "$dsc"; then
      echo "install-deps: the source package $source could not be fetched and verified into $dir" >&2
      exit 1
    fi
  done
}

if [ "${1:-}" = "--sources" ]; then
  [ $# -ge 3 ] || { echo "usage: $0 --sources DIR SOURCE..." >&2; exit 64; }
  dir=$2
  shift 2
  fetch_sources "$dir" "$@"
  exit 0
fi

# What building the program and running a job needs. The demo stops here: the test tools,
# the cluster and the service manager belong to the tests alone.
demo_packages=(build-essential cmake pkg-config libpugixml-dev libsqlite3-dev libsystemd-dev
  qt6-base-dev libgl1-mesa-dev qt6-charts-dev libqt6opengl6-dev libcli11-dev nlohmann-json3-dev
  libgraphviz-dev libcurl4-openssl-dev)
build_packages=("${demo_packages[@]}" git libgtest-dev libgmock-dev ninja-build)
# llvm brings llvm-symbolizer, without which clang's sanitizers name no function: their
# reports say nothing, and the suppressions of tests/thread_sanitizer.supp match nothing.
test_packages=(clang libclang-rt-14-dev llvm make sqlite3 graphviz procps slurmctld slurmd
  slurm-client munge systemd tzdata locales python3-aiosmtpd prometheus
  prometheus-node-exporter file dpkg-dev)
# The Windows leg: mingw-w64 and wine, and what building its libraries from source needs.
# Only the 64-bit compilers with POSIX threads, the ones cmake/mingw-w64.cmake names: the
# mingw-w64 package would add the 32-bit and the win32-thread ones, three quarters of a
# gigabyte that the install would unpack for nothing.
windows_leg_packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 googletest
  libcli11-dev nlohmann-json3-dev cmake ninja-build make dpkg-dev tcl sqlite3 python3)
case "${1:-}" in
  --demo)
    install_packages "${demo_packages[@]}"
    exit 0
    ;;
  --windows-leg)
    # The source index comes with the same update as the packages.
    add_source_entry || true
    install_packages "${windows_leg_packages[@]}"
    exit 0
    ;;
  --build)
    install_packages "${build_packages[@]}"
    exit 0
    ;;
  --tests) install_packages "${test_packages[@]}" ;;
  "") install_packages "${build_packages[@]}" "${test_packages[@]}" ;;
  *)
    echo "usage: $0 [--build | --tests | --demo | --windows-leg | --sources DIR SOURCE...]" >&2
    exit 64
    ;;
esac
# A locale whose decimal point is a comma: the tests show that numbers in job files read
# the same whatever the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
