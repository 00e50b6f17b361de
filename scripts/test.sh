#!/usr/bin/env bash
# Builds everything and runs every test: the full build, then the core tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the core and window tests under
# ThreadSanitizer, a short fuzzing run of the readers of outside input, and the Windows
# leg. A failing step does not stop the others (only the tests of a build that failed are
# left out), so that one run shows every leg's failures; the command fails at the end,
# naming them. Prints how long each step took, on the clock and in processor seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/step-timings.sh
jobs=$(nproc)

failed=()
# run_step NAME COMMAND...: one step; its failure is noted and returned. The commands of a
# step are chained with && (a shell function under || does not stop at a failure).
run_step() {
  local name=$1 status=0
  shift
  step "$name"
  "$@" || status=$?
  step_done
  if [ "$status" -ne 0 ]; then
    failed+=("$name")
    echo "== $name: FAILED (status $status)" >&2
  fi
  return "$status"
}
# run_beside NAME COMMAND...: a step that mostly waits (on its tests' programs and servers,
# on the network, on the disk), started beside the steps that follow so that the cores do
# not idle; its output and its outcome come when `await_beside NAME` is called, which
# returns its status.
declare -A beside_pid=() beside_log=() beside_start=()
run_beside() {
  local name=$1
  shift
  beside_log[$name]=$(mktemp)
  beside_start[$name]=$(date +%s.%N)
  echo "== $name: beside the next steps, its output follows when it ends"
  "$@" >"${beside_log[$name]}" 2>&1 &
  beside_pid[$name]=$!
}
await_beside() {
  local name=$1 status=0
  [ -n "${beside_pid[$name]:-}" ] || return 0
  wait "${beside_pid[$name]}" || status=$?
  unset "beside_pid[$name]"
  echo "== $name"
  cat "${beside_log[$name]}"
  rm -f "${beside_log[$name]}"
  step_timings+=("$(awk -v name="$name (beside)" -v a="${beside_start[$name]}" \
    -v b="$(date +%s.%N)" 'BEGIN { printf "%-30s %7.1f s %8s", name, b - a, "-" }')")
  if [ "$status" -ne 0 ]; then
    failed+=("$name")
    echo "== $name: FAILED (status $status)" >&2
  fi
  return "$status"
}
finish() {
  local name
  for name in "${!beside_pid[@]}"; do await_beside "$name" || true; done
  rm -f "${test_packages_done:-}"
  print_timings "Test command timings"
  if [ ${#failed[@]} -gt 0 ]; then
    printf 'Failed: %s\n' "${failed[@]}" >&2
    exit 1
  fi
}
trap finish EXIT

# Every build here compiles its sources in batches (CMAKE_UNITY_BUILD), which halves the
# compile time, with Ninja, which compiles the batches of all layers side by side; a
# developer's own build keeps one file at a time. No build here makes the
# benchmarks: they are run by hand. Tests on: the demo may have configured the same folder
# without them.
configure() {
  local folder=$1
  shift
  bash scripts/cmake-ninja.sh -S . -B "$folder" -DJOBRUNNER_BUILD_TESTS=ON \
    -DJOBRUNNER_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON "$@" >/dev/null
}
build() {
  configure build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j"$jobs"
}
tests() {
  (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs") &&
    bash tests/package_test.sh build
}

# The sanitizer builds compile only what their tests cover: the core, and for threads the
# windows as well (the run worker, the history window's re-read). clang compiles them in
# about half the processor time GCC takes for the same checks; the full build above stays
# GCC's, the compiler the program is built with. The fuzzers come with the address build:
# the layers they read with are compiled once for both, with the fuzzers' coverage hooks,
# which the core tests run through unharmed.
# Their debug information is the line tables alone: all a report's stack needs to name
# files, lines and functions, at less compile time than full information.
sanitizer_compiler=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  -DCMAKE_C_FLAGS_DEBUG=-gline-tables-only -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only)
asan_build() {
  configure build-asan -DCMAKE_BUILD_TYPE=Debug -DJOBRUNNER_SANITIZE=address \
    -DJOBRUNNER_WITH_GUI=OFF -DJOBRUNNER_FUZZ=ON "${sanitizer_compiler[@]}" &&
    cmake --build build-asan -j"$jobs" --target core_tests fuzz_targets
}
asan_tests() {
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j"$jobs" -R '^core\.')
}
tsan_build() {
  configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DJOBRUNNER_SANITIZE=thread \
    "${sanitizer_compiler[@]}" &&
    cmake --build build-tsan -j"$jobs" --target core_tests ui_run_history_window_test ui_window_test
}
# Qt is not built with the sanitizer: what Qt's own code reads and writes is left out, and
# the suppressions name, with their reasons, the hand-overs inside Qt it cannot see. Every
# core and window test runs.
tsan_tests() {
  local suppressions=$PWD/tests/thread_sanitizer.supp
  (cd build-tsan && QT_QPA_PLATFORM=offscreen \
    TSAN_OPTIONS="ignore_noninstrumented_modules=1 suppressions=$suppressions" \
    ctest --output-on-failure -j"$jobs" -R '^(core|ui)\.')
}

# Nothing else can run without the packages of the Linux build. An install keeps one core
# busy and leaves the other idle, so only what the full build needs comes first.
run_step "install packages" bash scripts/install-deps.sh --build || exit 1
# What only the tests use (clang for the sanitizer builds, the cluster, the service
# manager, the servers) is installed beside the full build; then the Windows leg's tools,
# libraries and wine prefix (downloads, unpacking, one small library built, a wine prefix
# made) are prepared, after the packages since dpkg takes one install at a time.
test_packages_done=$(mktemp -u)
prepare_beside() {
  bash scripts/install-deps.sh --tests && touch "$test_packages_done" &&
    bash scripts/windows-leg.sh --prepare build-win
}
preparation="test packages, Windows leg preparation"
run_beside "$preparation" prepare_beside
# await_test_packages: returns once the test packages are installed; fails, noting it once,
# when their install failed (its output comes with the preparation's).
test_packages_status=""
await_test_packages() {
  while [ -z "$test_packages_status" ]; do
    if [ -e "$test_packages_done" ]; then
      test_packages_status=0
    elif ! kill -0 "${beside_pid[$preparation]}" 2>/dev/null && [ ! -e "$test_packages_done" ]; then
      test_packages_status=1
      failed+=("test packages")
      echo "== test packages: FAILED" >&2
    else
      sleep 1
    fi
  done
  rm -f "$test_packages_done"
  return "$test_packages_status"
}
# The tests of the full build, which mostly wait on their programs, run while the
# AddressSanitizer build compiles and the fuzzers run.
if run_step "build" build && await_test_packages; then run_beside "tests" tests; fi
if await_test_packages && run_step "AddressSanitizer build" asan_build; then
  run_step "fuzzing" bash tests/fuzz/run.sh build-asan || true
  await_beside "tests" || true
  run_step "AddressSanitizer tests" asan_tests || true
fi
await_beside "tests" || true
if run_step "ThreadSanitizer build" tsan_build; then
  run_step "ThreadSanitizer tests" tsan_tests || true
fi
# The Windows leg: the cross-built core, its tests and whole jobs under wine.
if await_beside "$preparation"; then
  run_step "Windows leg" bash scripts/windows-leg.sh build-win || true
fi
# How much test code there is against the rest.
bash scripts/test-weight.sh
