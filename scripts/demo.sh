#!/usr/bin/env bash
# Installs what is needed, builds the program and the stand-ins, prepares the demo in
# ./demo and runs the demo job unattended, as cron would.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DJOBRUNNER_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target jobrunner standin pagegen
demo=$(bash scripts/make-demo.sh demo build/bin)
echo "Running the demo job $demo/demo-job.xml ..."
status=0
JOBRUNNER_REGISTRY="$demo/registry.reg" \
JOBRUNNER_EVENT_LOG="$demo/events.log" \
JOBRUNNER_METADATA_DB="$demo/metadata.sqlite" \
  build/bin/jobrunner "$demo/demo-job.xml" || status=$?
run=$(ls -d "$demo"/logs/*/ | tail -n 1)
echo
echo "jobrunner exited with status $status: the job $(sed -n 's/^Execution Job\t: \(.*\)\r$/\1/p' "$run"*_UserDef.txt)"
echo "Run folder:                $run"
echo "Administrators' report:    $demo/reports/admin-report.htm"
echo "End users' report:         $demo/reports/user-report.htm"
echo "Event log entries:         $demo/events.log"
[ "$status" -le 1 ]
