#!/usr/bin/env bash
# Runs every fuzzer of a fuzz build (bash tests/fuzz/run.sh BUILD_DIR) for a short while,
# `nproc` of them at a time, each starting from its committed seeds in corpus/NAME/ and with
# NAME.dict when there is one. Fails when a fuzzer finds a crash, a leak, a hang, undefined
# behaviour or a broken invariant: the fuzzer is named, the end of its log shown, and the
# input that did it left in BUILD_DIR/fuzz/ as NAME-crash-*, NAME-leak-*, NAME-timeout-*...
# FUZZ_SECONDS sets the time per fuzzer (default 20).
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
seconds=${FUZZ_SECONDS:-20}
at_once=$(nproc)

shopt -s nullglob
fuzzers=("$build"/fuzz/*_fuzzer)
if [ ${#fuzzers[@]} -eq 0 ]; then
  echo "run.sh: no fuzzers in $build/fuzz (build the fuzz_targets target with clang)" >&2
  exit 1
fi

# New inputs go to a scratch copy, so that the committed seeds stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fuzz() {
  local fuzzer=$1 name corpus
  name=$(basename "$fuzzer" _fuzzer)
  corpus="$work/$name"
  mkdir -p "$corpus"
  if [ -d "$here/corpus/$name" ]; then cp "$here/corpus/$name"/* "$corpus"/; fi
  local dict=()
  [ -f "$here/$name.dict" ] && dict=(-dict="$here/$name.dict")
  local status=0
  "$fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/fuzz/$name-" -print_final_stats=1 "${dict[@]}" "$corpus" \
    >"$work/$name.log" 2>&1 || status=$?
  echo "$status" >"$work/$name.status"
}

echo "== fuzzing ${#fuzzers[@]} readers for ${seconds}s each, $at_once at a time"
for fuzzer in "${fuzzers[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$at_once" ]; do wait -n || true; done
  fuzz "$fuzzer" &
done
wait

failed=0
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer" _fuzzer)
  if [ "$(cat "$work/$name.status" 2>/dev/null || echo 1)" != 0 ]; then
    tail -n 60 "$work/$name.log" >&2
    echo "== $name: FAILED (its input is in $build/fuzz/$name-*)" >&2
    failed=1
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")
  speed=$(sed -n "s/^stat::average_exec_per_sec: *//p" "$work/$name.log")
  echo "== $name: no faults in ${runs:-?} runs (${speed:-?}/s)"
done
exit "$failed"
