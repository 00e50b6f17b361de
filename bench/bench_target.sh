#!/bin/sh
# Builds one benchmark and runs it with the given arguments; each figure is printed beside
# the same workload run by GNU make. engine.sh and scale.sh call it.
#   bench/bench_target.sh TARGET BUILD_DIR [ARGUMENT...]
set -eu
target=$1
build=$2
shift 2
top=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target "$target" -j1 >/dev/null
command -v make >/dev/null || { echo "GNU make is needed for the comparison" >&2; exit 1; }
"$build/bench/$target" "$@"
