#!/usr/bin/env bash
# Runs every fuzzer of a fuzz build (bash tests/fuzz/run.sh BUILD_DIR) for a short while,
# starting from the committed seeds. Fails when a fuzzer finds a crash, a leak, a hang or
# a broken invariant; the input that did it is left in BUILD_DIR/fuzz/ as crash-*, leak-*
# or timeout-*. FUZZ_SECONDS sets the time per fuzzer (default 20).
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
seconds=${FUZZ_SECONDS:-20}

shopt -s nullglob
fuzzers=("$build"/fuzz/*_fuzzer)
if [ ${#fuzzers[@]} -eq 0 ]; then
  echo "run.sh: no fuzzers in $build/fuzz (build the fuzz_targets target with clang)" >&2
  exit 1
fi

# New inputs go to a scratch copy, so that the committed seeds stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer" _fuzzer)
  corpus="$work/$name"
  mkdir -p "$corpus"
  cp "$here"/corpus/* "$corpus"/
  dict=()
  [ -f "$here/$name.dict" ] && dict=(-dict="$here/$name.dict")
  echo "== $name: fuzzing for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz/" -print_final_stats=1 "${dict[@]}" "$corpus" 2>"$work/log" ||
    { tail -n 60 "$work/log" >&2; echo "== $name: FAILED" >&2; exit 1; }
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units)' "$work/log" || true
  echo "== $name: no faults"
done
