#!/usr/bin/env bash
# Installs what is needed, builds the program and shows it working.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target jobrunner
build/bin/jobrunner --help
