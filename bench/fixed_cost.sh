#!/usr/bin/env bash
# The fixed cost of a one-line run: from the start of jobrunner to its exit, with both
# definition files and both HTML reports written (the report generator's time included).
#   bench/fixed_cost.sh [BIN_DIR] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$here/build/bin}
runs=${2:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$here/scripts/make-utilities.sh" "$work/install" "$bin" >/dev/null
mkdir -p "$work/logs"
cat >"$work/job.xml" <<XML
<VANTORSOREL_Job_specification Description="One line" LogFile="$work/admin.htm" UserFile="$work/user.htm" TempLogDir="$work/logs" LogToEventLog="true" MaxParallel="1">
  <BatchLines>
    <BatchLine batch_line="10" batch_line_description="Export" batch_line_type="Flow Runner" options="" wait="" stop_on_error="false" active="true" skip_on_error="" skip_on_success="" repeat_on_error="" repeat_on_success=""/>
  </BatchLines>
</VANTORSOREL_Job_specification>
XML
export JOBRUNNER_REGISTRY="$work/install/registry.reg" JOBRUNNER_EVENT_LOG="$work/events.log" \
  JOBRUNNER_METADATA_DB="$work/metadata.sqlite"
"$bin/jobrunner" "$work/job.xml"  # warm the caches and create the database once
times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$bin/jobrunner" "$work/job.xml"
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000 )))
done
[ -s "$work/admin.htm" ] && [ -s "$work/user.htm" ] || { echo "reports missing" >&2; exit 1; }
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
median=${sorted[$(( runs / 2 ))]}
printf 'one-line run with both reports: median %d.%03d ms, fastest %d.%03d ms over %d runs (target < 150 ms)\n' \
  $((median / 1000)) $((median % 1000)) $((sorted[0] / 1000)) $((sorted[0] % 1000)) "$runs"
