#!/bin/sh
# Builds and runs the scale benchmark: chains and fan-outs of /bin/true lines at the given
# sizes, the runner's memory per line and a pass over that many waiting lines, each figure
# beside its target and GNU make's figure from the same run.
#   bench/scale.sh [BUILD_DIR] [SIZE...]     (default sizes: 100 1000 10000; the full
#                                             figures take 100 1000 10000 100000)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(dirname "$here")/build}
shift 2>/dev/null || true
echo "== scale"
exec sh "$here/bench_target.sh" scale_bench "$build" "$@"
