#!/bin/sh
# Builds and runs the scale benchmark: chains and fan-outs of /bin/true lines at the given
# sizes, the runner's memory per line and a pass over that many waiting lines, each figure
# beside its target and GNU make's figure from the same run.
#   bench/scale.sh [BUILD_DIR] [SIZE...]     (default sizes: 100 1000 10000; the full
#                                             figures take 100 1000 10000 100000)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
build=${1:-$top/build}
shift 2>/dev/null || true
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" --target scale_bench -j1 >/dev/null
command -v make >/dev/null || { echo "GNU make is needed for the comparison" >&2; exit 1; }
echo "== scale"
"$build/bench/scale_bench" "$@"
