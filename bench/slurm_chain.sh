#!/usr/bin/env bash
# Per-step cost of running job lines on a Slurm cluster, beside the same chain run
# locally: a job of LINES lines (default 100), each waiting for the one before, run
# unattended once with the local launcher and once through srun on a throw-away
# one-node cluster; and srun alone, LINES times in a row, for the cluster's own share.
#
# Usage (as root, after the build): bench/slurm_chain.sh [BUILD_DIR] [LINES]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
lines=${2:-100}
for needed in jobrunner standin pagegen; do
  [ -x "$build/bin/$needed" ] || {
    echo "slurm_chain.sh: $build/bin/$needed is missing; build first" >&2
    exit 1
  }
done

work=$(mktemp -d)
cluster=$(mktemp -d)
cleanup() {
  bash "$here/scripts/slurm-cluster.sh" stop "$cluster" || true
  rm -rf "$work" "$cluster"
}
trap cleanup EXIT

bash "$here/scripts/make-utilities.sh" "$work" "$build/bin" >/dev/null
mkdir -p "$work/logs"
{
  printf '<VANTORSOREL_Job_specification Description="chain of %s" LogFile="%s/admin.htm" ' \
    "$lines" "$work"
  printf 'UserFile="%s/user.htm" TempLogDir="%s/logs" LogToEventLog="false" ' "$work" "$work"
  printf 'Exportdate="2026-12-06 12:00:00" MaxParallel="1">\n  <BatchLines>\n'
  for ((i = 1; i <= lines; i++)); do
    wait=""
    ((i > 1)) && wait=$((i - 1))
    printf '    <BatchLine batch_line="%d" batch_line_description="step %d" ' "$i" "$i"
    printf 'batch_line_type="Flow Runner" options="" wait="%s" stop_on_error="true" ' "$wait"
    printf 'active="true" skip_on_error="" skip_on_success="" repeat_on_error="" '
    printf 'repeat_on_success=""/>\n'
  done
  printf '  </BatchLines>\n</VANTORSOREL_Job_specification>\n'
} >"$work/chain.xml"

cp "$work/registry.reg" "$work/local.reg"
cp "$work/registry.reg" "$work/slurm.reg"
printf '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Extraction Job Runner\\Launcher]\n"Type"="slurm"\n' \
  >>"$work/slurm.reg"

now_ms() { date +%s%3N; }

# Runs the chain with the given registry file; prints the milliseconds it took.
run_chain() {
  local registry=$1 start end status=0
  rm -rf "$work/logs" && mkdir -p "$work/logs"
  start=$(now_ms)
  JOBRUNNER_REGISTRY="$registry" JOBRUNNER_EVENT_LOG="$work/events.log" \
    JOBRUNNER_METADATA_DB="$work/metadata.sqlite" \
    "$build/bin/jobrunner" "$work/chain.xml" >"$work/out.txt" 2>&1 || status=$?
  end=$(now_ms)
  if [ "$status" -ne 0 ]; then
    echo "slurm_chain.sh: the chain ended with status $status" >&2
    cat "$work/out.txt" >&2
    exit 1
  fi
  echo $((end - start))
}

per_step() { awk -v t="$1" -v n="$lines" 'BEGIN { printf "%.1f", t / n }'; }

bash "$here/scripts/slurm-cluster.sh" start "$cluster"
export SLURM_CONF="$cluster/slurm.conf"

local_ms=$(run_chain "$work/local.reg")
slurm_ms=$(run_chain "$work/slurm.reg")
start=$(now_ms)
for ((i = 1; i <= lines; i++)); do srun --ntasks=1 --quiet -- /bin/true; done
srun_ms=$(($(now_ms) - start))

echo "chain of $lines job lines, each waiting for the one before:"
echo "  local launcher:       total $local_ms ms, $(per_step "$local_ms") ms per step"
echo "  through srun:         total $slurm_ms ms, $(per_step "$slurm_ms") ms per step"
echo "  srun /bin/true alone: total $srun_ms ms, $(per_step "$srun_ms") ms per step"
