#!/usr/bin/env bash
# Builds the benchmarks in a Release build and runs them, printing their figures:
#   bash bench/run.sh [BUILD_DIR]      (default build-release)
# Every bench/<name>_bench.cc is built (bench/CMakeLists.txt lists them) and run. A
# benchmark that fails (exit status other than 0) makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DJOBRUNNER_BUILD_TESTS=OFF \
  -DJOBRUNNER_BUILD_BENCH=ON >/dev/null
targets=()
for source in bench/*_bench.cc; do targets+=("$(basename "$source" .cc)"); done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" jobrunner standin pagegen >/dev/null

status=0
for target in "${targets[@]}"; do
  echo "== $target"
  QT_QPA_PLATFORM=offscreen "$build/bench/$target" || status=1
done
echo "== fixed cost of a run"
bash bench/fixed_cost.sh "$build/bin" || status=1
exit $status
