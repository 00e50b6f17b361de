#!/bin/sh
# Builds and runs the scheduler benchmark, which prints each figure of the execution
# engine beside the same workload run by GNU make. bench/run.sh calls this script; it
# also runs on its own.
#   bench/engine.sh [BUILD_DIR] [--quick]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$(dirname "$here")/build}
shift 2>/dev/null || true
echo "== execution engine =="
exec sh "$here/bench_target.sh" scheduler_bench "$build" "$@"
