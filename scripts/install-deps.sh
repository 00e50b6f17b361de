#!/usr/bin/env bash
# Installs what building, testing and running the project needs on Debian 12 (as root).
# With package names as arguments it installs those instead (the Windows leg's tools).
set -euo pipefail
packages=(build-essential cmake pkg-config git libpugixml-dev libsqlite3-dev libsystemd-dev
  qt6-base-dev libgl1-mesa-dev libgtest-dev libgmock-dev clang libclang-rt-14-dev make sqlite3 procps
  slurmctld slurmd slurm-client munge systemd)
if [ $# -gt 0 ]; then packages=("$@"); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
