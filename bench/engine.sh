#!/bin/sh
# Builds and runs the scheduler benchmark, which prints each figure of the execution
# engine beside the same workload run by GNU make. bench/run.sh calls this script; it
# also runs on its own.
#   bench/engine.sh [BUILD_DIR] [--quick]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${1:-$top/build}
shift 2>/dev/null || true
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target scheduler_bench -j2 >/dev/null
command -v make >/dev/null || { echo "GNU make is needed for the comparison" >&2; exit 1; }
echo "== execution engine =="
"$build/bench/scheduler_bench" "$@"
