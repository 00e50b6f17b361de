# shellcheck shell=bash
# Step timings for the CI scripts (sourced): `step NAME` begins a step and prints its
# name, `step_done` records how long it took on the clock and how much processor time the
# processes it waited for used, and `print_timings TITLE` prints the table. On a machine
# shared with other work the processor seconds are the figure to compare; on an idle one
# their ratio to the wall seconds shows how well a step keeps the cores busy.

declare -a step_timings=()
step_name=""
step_wall_start=0
step_cpu_start=0
timings_wall_start=$(date +%s.%N)
timings_cpu_start=0

# Processor seconds of this shell and of the children it has waited for.
cpu_seconds() {
  awk -v tick="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15 + $16 + $17) / tick }' \
    "/proc/$$/stat"
}
timings_cpu_start=$(cpu_seconds)

step() {
  step_name=$1
  step_wall_start=$(date +%s.%N)
  step_cpu_start=$(cpu_seconds)
  echo "== $1"
}

# step_done [NAME]: NAME defaults to the step's own.
step_done() {
  step_timings+=("$(awk -v name="${1:-$step_name}" -v a="$step_wall_start" -v b="$(date +%s.%N)" \
    -v c="$step_cpu_start" -v d="$(cpu_seconds)" \
    'BEGIN { printf "%-30s %7.1f s %8.1f s", name, b - a, d - c }')")
}

print_timings() {
  echo "== $1 (wall, processor)"
  printf '  %s\n' "${step_timings[@]}"
  awk -v a="$timings_wall_start" -v b="$(date +%s.%N)" -v c="$timings_cpu_start" \
    -v d="$(cpu_seconds)" 'BEGIN { printf "  %-30s %7.1f s %8.1f s\n", "all", b - a, d - c }'
}
