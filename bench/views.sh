#!/usr/bin/env bash
# The views of a job of 100,000 lines and of a history of 1,000,000 line rows, each figure
# beside its target: the job file read and written, --check, --graph, the editor (open to a
# painted grid, scroll, insert and delete a line, the graph window), --status and the
# expected end of a run of 100,000 lines, --history, --history RUNID, --jobs, a prune while a
# run commits, and the history window.
#   bash bench/views.sh [BUILD_DIR]      (default build; a Release build with the window)
# VIEWS_BENCH_PROGRAM=/path/to/jobrunner times another jobrunner in the command-line figures.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
ninja -C "$build" -j1 jobrunner jobfile_bench views_bench ui_open_bench history_window_bench \
  >/dev/null
export QT_QPA_PLATFORM=offscreen
status=0
echo "== job file of 100,000 lines"
"$build/bench/jobfile_bench" 100000 || status=1
echo "== command line"
"$build/bench/views_bench" 100000 10000 || status=1
echo "== editor"
"$build/bench/ui_open_bench" 100000 2>/dev/null || status=1
echo "== history window"
"$build/bench/history_window_bench" 10000 100 2>/dev/null || status=1
exit $status
