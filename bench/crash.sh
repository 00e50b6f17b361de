#!/usr/bin/env bash
# Kills the runner with SIGKILL at random moments, many times over, and checks each time what
# it left behind (tests/crash_test.py says what):
#   bash bench/crash.sh [BIN_DIR] [KILLS]     (default build/bin, 500 kills)
# Three in five kills fall in a run, one in five in its reports, one in five in a prune.
# Prints the seed (CRASH_SEED=N replays it), each failure, then kills, failures and time.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
kills=${2:-500}
for needed in jobrunner standin pagegen; do
  [ -x "$bin/$needed" ] || { echo "crash.sh: $bin/$needed is missing; build it first" >&2; exit 1; }
done
reports=$((kills / 5))
exec python3 tests/crash_test.py "$bin" \
  --during "run=$((kills - 2 * reports)),reports=$reports,prune=$reports"
