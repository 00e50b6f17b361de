#!/usr/bin/env bash
# Many runs against one run history at once, as a night's timers start them:
#   1. 32 different jobs of 200 short lines (/bin/true), all started at the same moment, then
#      the same 32 runs one after another, each against a database of its own;
#   2. the same with 320 jobs of 20 lines;
#   3. 8 runs of one job under Overlap="wait", started a tenth of a second apart.
# Checks that every run and every line row is kept, that no run printed anything (no locked
# database, no history write that failed), and that the waiting runs went one after the
# other in the order they were started. Prints both times and the machine's load.
#   bench/many_jobs.sh [BIN_DIR] [JOBSxLINES ...]      (default: 32x200 320x20)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$here/build/bin}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(32x200 320x20)
command -v sqlite3 >/dev/null || { echo "the sqlite3 shell is needed for the checks" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$here/scripts/make-utilities.sh" "$work/install" "$bin" >/dev/null
export JOBRUNNER_REGISTRY="$work/install/registry.reg" JOBRUNNER_EVENT_LOG="$work/events.log"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# job NAME LINES PROGRAM [OVERLAP]: writes $work/NAME.xml, its reports and run folders beside.
job() {
  local name=$1 dir="$work/$1"
  mkdir -p "$dir/logs"
  {
    echo "<VANTORSOREL_Job_specification Description=\"$name\" LogFile=\"$dir/admin.htm\"" \
      "UserFile=\"$dir/user.htm\" TempLogDir=\"$dir/logs\" LogToEventLog=\"true\"" \
      "MaxParallel=\"4\"${4:+ Overlap=\"$4\"}>"
    echo "  <BatchLines>"
    for ((i = 1; i <= $2; i++)); do
      echo "    <BatchLine batch_line=\"$i\" batch_line_description=\"line $i\"" \
        "batch_line_type=\"User Batchfile\" options=\"\" wait=\"\" stop_on_error=\"false\"" \
        "active=\"true\" own_batch_file=\"$3\" skip_on_error=\"\" skip_on_success=\"\"" \
        "repeat_on_error=\"\" repeat_on_success=\"\"/>"
    done
    echo "  </BatchLines>"
    echo "</VANTORSOREL_Job_specification>"
  } >"$work/$name.xml"
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }
seconds() { printf '%d.%02d s' $(($1 / 1000)) $(($1 % 1000 / 10)); }

# check DB RUNS LINES OUTPUT...: every run ended well with all its line rows, and silence.
check() {
  local db=$1 runs=$2 lines=$3
  shift 3
  local kept
  kept=$(sqlite3 "$db" "SELECT (SELECT count(*) FROM runs WHERE status = 0 AND succeeded = $lines),
    (SELECT count(*) FROM run_lines WHERE outcome = 'ok'), (SELECT count(*) FROM process_metadata)")
  [ "$kept" = "$runs|$((runs * lines))|$((runs * lines))" ] ||
    fail "$db: runs ended well|line rows|metadata rows = $kept, not $runs|$((runs * lines))|$((runs * lines))"
  local said
  said=$(cat "$@" | sort | uniq -c | sort -rn | head -3)
  [ -z "$said" ] || fail "the runs said: $said"
}

for size in "${sizes[@]}"; do
  jobs=${size%x*} lines=${size#*x}
  rm -rf "$work"/j* "$work"/*.sqlite*
  for ((j = 1; j <= jobs; j++)); do job "j$j" "$lines" /bin/true; done
  export JOBRUNNER_METADATA_DB="$work/apart.sqlite"
  start=$(now_ms)
  for ((j = 1; j <= jobs; j++)); do
    "$bin/jobrunner" "$work/j$j.xml" >"$work/j$j/apart.out" 2>&1 || fail "run j$j apart: status $?"
  done
  apart=$(($(now_ms) - start))
  check "$JOBRUNNER_METADATA_DB" "$jobs" "$lines" "$work"/j*/apart.out
  # Together: every runner waits at a gate (a pipe's opening) and all are let go at once.
  export JOBRUNNER_METADATA_DB="$work/together.sqlite"
  rm -f "$work/gate" && mkfifo "$work/gate"
  pids=()
  for ((j = 1; j <= jobs; j++)); do
    (exec <"$work/gate" && exec "$bin/jobrunner" "$work/j$j.xml" >"$work/j$j/together.out" 2>&1) &
    pids+=($!)
  done
  sleep 1
  start=$(now_ms)
  exec 3>"$work/gate"
  for pid in "${pids[@]}"; do wait "$pid" || fail "run $pid together: status $?"; done
  exec 3>&-
  together=$(($(now_ms) - start))
  check "$JOBRUNNER_METADATA_DB" "$jobs" "$lines" "$work"/j*/together.out
  printf '%d jobs x %d lines: together %s, one after another %s (load %s)\n' "$jobs" "$lines" \
    "$(seconds "$together")" "$(seconds "$apart")" "$(cut -d' ' -f1-3 /proc/loadavg)"
done

# Waiting runs: each line notes its runner, so the order the runs went in is the notes'.
export JOBRUNNER_METADATA_DB="$work/wait.sqlite"
printf '#!/bin/sh\necho "$PPID" >>"%s"\nsleep 0.2\n' "$work/ran" >"$work/nap.sh"
chmod +x "$work/nap.sh"
job waiting 2 "$work/nap.sh" wait
pids=()
for _ in 1 2 3 4 5 6 7 8; do
  "$bin/jobrunner" "$work/waiting.xml" >>"$work/waiting.out" 2>&1 &
  pids+=($!)
  sleep 0.1
done
for pid in "${pids[@]}"; do wait "$pid" || fail "waiting run $pid: status $?"; done
ran=$(awk '!seen[$0]++' "$work/ran" | tr '\n' ' ')
[ "$ran" = "${pids[*]} " ] || fail "the waiting runs went in the order $ran, not ${pids[*]}"
overlaps=$(sqlite3 "$JOBRUNNER_METADATA_DB" "SELECT count(*) FROM runs a JOIN runs b
  ON a.run_id < b.run_id AND a.start_ms < b.end_ms AND b.start_ms < a.end_ms")
[ "$overlaps" = 0 ] || fail "$overlaps pairs of waiting runs went on at the same time"
grep -Ev '^jobrunner: waiting for (run [^ ]+|another run) of this job to end$' "$work/waiting.out" &&
  fail "the waiting runs said more than that they wait"
check "$JOBRUNNER_METADATA_DB" 8 2 /dev/null
echo "8 runs under Overlap=\"wait\": one after the other, in the order they were started"
[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
