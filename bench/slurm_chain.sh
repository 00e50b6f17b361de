#!/usr/bin/env bash
# Per-step cost of running job lines on a Slurm cluster, beside the same chain run
# locally: a job of LINES lines (default 100), each waiting for the one before, run
# unattended by the built program with the local launcher and through srun on a
# throw-away one-node cluster. Per-step cost = (T(LINES) - T(1)) / (LINES - 1), so that
# the program's start, the reports and the cluster's start-up do not count. srun alone,
# LINES times in a row, gives the cluster's own share.
#
# Usage (as root, after the build): bench/slurm_chain.sh [BUILD_DIR] [LINES]
set -euo pipefail
shopt -s inherit_errexit
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
lines=${2:-100}
[ "$lines" -ge 2 ] || { echo "slurm_chain.sh: LINES must be 2 or more" >&2; exit 2; }
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

# A chain job of $1 lines into $2.
write_chain() {
  local count=$1 file=$2 i wait
  {
    printf '<VANTORSOREL_Job_specification Description="chain of %s" LogFile="%s/admin.htm" ' \
      "$count" "$work"
    printf 'UserFile="%s/user.htm" TempLogDir="%s/logs" LogToEventLog="false" ' "$work" "$work"
    printf 'Exportdate="2026-12-06 12:00:00" MaxParallel="1">\n  <BatchLines>\n'
    for ((i = 1; i <= count; i++)); do
      wait=""
      ((i > 1)) && wait=$((i - 1))
      printf '    <BatchLine batch_line="%d" batch_line_description="step %d" ' "$i" "$i"
      printf 'batch_line_type="Flow Runner" options="" wait="%s" stop_on_error="true" ' "$wait"
      printf 'active="true" skip_on_error="" skip_on_success="" repeat_on_error="" '
      printf 'repeat_on_success=""/>\n'
    done
    printf '  </BatchLines>\n</VANTORSOREL_Job_specification>\n'
  } >"$file"
}
write_chain "$lines" "$work/chain.xml"
write_chain 1 "$work/one.xml"

cp "$work/registry.reg" "$work/local.reg"
cp "$work/registry.reg" "$work/slurm.reg"
printf '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Extraction Job Runner\\Launcher]\n"Type"="slurm"\n' \
  >>"$work/slurm.reg"

now_ms() { date +%s%3N; }

# Runs a job with the given registry file; prints the milliseconds it took.
run_job() {
  local registry=$1 job=$2 start end status=0
  rm -rf "$work/logs" && mkdir -p "$work/logs"
  start=$(now_ms)
  JOBRUNNER_REGISTRY="$registry" JOBRUNNER_EVENT_LOG="$work/events.log" \
    JOBRUNNER_METADATA_DB="$work/metadata.sqlite" \
    "$build/bin/jobrunner" "$job" >"$work/out.txt" 2>&1 </dev/null || status=$?
  end=$(now_ms)
  if [ "$status" -ne 0 ]; then
    echo "slurm_chain.sh: $job ended with status $status" >&2
    cat "$work/out.txt" >&2
    exit 1
  fi
  echo $((end - start))
}

# Per-step milliseconds of a chain through the launcher that a registry file sets.
per_step() {
  local registry=$1 one many
  one=$(run_job "$registry" "$work/one.xml")
  many=$(run_job "$registry" "$work/chain.xml")
  awk -v one="$one" -v many="$many" -v n="$lines" \
    'BEGIN { printf "%.1f ms per step (%d lines: %d ms, 1 line: %d ms)", (many - one) / (n - 1), n, many, one }'
}

bash "$here/scripts/slurm-cluster.sh" start "$cluster"
export SLURM_CONF="$cluster/slurm.conf"

local_figure=$(per_step "$work/local.reg")
slurm_figure=$(per_step "$work/slurm.reg")
start=$(now_ms)
for ((i = 1; i <= lines; i++)); do srun --ntasks=1 --quiet -- /bin/true; done
srun_ms=$(($(now_ms) - start))

echo "== job lines on a one-node Slurm cluster =="
echo "chain of $lines job lines, each waiting for the one before, run by jobrunner:"
echo "  local launcher: $local_figure"
echo "  through srun:   $slurm_figure"
awk -v t="$srun_ms" -v n="$lines" \
  'BEGIN { printf "  srun /bin/true alone, %d times: %.1f ms each\n", n, t / n }'
