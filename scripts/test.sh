#!/usr/bin/env bash
# Builds everything and runs every test: the full build, then the core tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, then a short fuzzing run of the job
# file reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

# Tests on: the demo may have configured the same folder without them. Every build here
# compiles its sources in batches (CMAKE_UNITY_BUILD), which halves the compile time;
# a developer's own build keeps one file at a time.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DJOBRUNNER_BUILD_TESTS=ON -DCMAKE_UNITY_BUILD=ON
cmake --build build -j"$jobs"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs")
bash tests/package_test.sh build

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DJOBRUNNER_SANITIZE=ON \
  -DJOBRUNNER_WITH_GUI=OFF -DJOBRUNNER_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON
cmake --build build-asan -j"$jobs" --target core_tests
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -R '^core\.')

if [ -f tests/fuzz/CMakeLists.txt ]; then
  cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DJOBRUNNER_FUZZ=ON -DJOBRUNNER_WITH_GUI=OFF \
    -DJOBRUNNER_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON
  cmake --build build-fuzz -j"$jobs" --target fuzz_targets
  bash tests/fuzz/run.sh build-fuzz
fi

# The Windows leg: the cross-built core, its tests and whole jobs under wine.
bash scripts/windows-leg.sh

# How much test code there is against the rest.
bash scripts/test-weight.sh
