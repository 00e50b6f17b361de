#!/usr/bin/env bash
# Builds everything and runs every test: the full build, then the core tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the core and window tests under
# ThreadSanitizer, a short fuzzing run of the readers of outside input, and the Windows
# leg. Prints how long each step took, on the clock and in processor seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/step-timings.sh
jobs=$(nproc)

step "install packages"
bash scripts/install-deps.sh --all
step_done

# Every build here compiles its sources in batches (CMAKE_UNITY_BUILD), which halves the
# compile time; a developer's own build keeps one file at a time. No build here makes the
# benchmarks: they are run by hand. Tests on: the demo may have configured the same folder
# without them.
step "build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DJOBRUNNER_BUILD_TESTS=ON \
  -DJOBRUNNER_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build build -j"$jobs"
step_done

step "tests"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs")
bash tests/package_test.sh build
step_done

# The sanitizer builds compile only what their tests cover: the core, and for threads the
# windows as well (the run worker, the history window's re-read).
step "AddressSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DJOBRUNNER_SANITIZE=address \
  -DJOBRUNNER_WITH_GUI=OFF -DJOBRUNNER_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build build-asan -j"$jobs" --target core_tests
step_done
step "AddressSanitizer tests"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -R '^core\.')
step_done

step "ThreadSanitizer build"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DJOBRUNNER_SANITIZE=thread \
  -DJOBRUNNER_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target core_tests ui_run_history_window_test ui_window_test
step_done
# Qt is not built with the sanitizer: what Qt's own code reads and writes is left out, and
# the suppressions name, with their reasons, the hand-overs inside Qt it cannot see. Every
# core and window test runs.
step "ThreadSanitizer tests"
(cd build-tsan && QT_QPA_PLATFORM=offscreen \
  TSAN_OPTIONS="ignore_noninstrumented_modules=1 suppressions=$PWD/tests/thread_sanitizer.supp" \
  ctest --output-on-failure -j"$jobs" -R '^(core|ui)\.')
step_done

if [ -f tests/fuzz/CMakeLists.txt ]; then
  step "fuzz build"
  cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DJOBRUNNER_FUZZ=ON -DJOBRUNNER_WITH_GUI=OFF \
    -DJOBRUNNER_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON >/dev/null
  cmake --build build-fuzz -j"$jobs" --target fuzz_targets
  step_done
  step "fuzzing"
  bash tests/fuzz/run.sh build-fuzz
  step_done
fi

# The Windows leg: the cross-built core, its tests and whole jobs under wine.
step "Windows leg"
bash scripts/windows-leg.sh
step_done

# How much test code there is against the rest.
bash scripts/test-weight.sh
print_timings "Test command timings"
