#!/usr/bin/env bash
# Prints how much test code there is for each line of other code: non-blank lines that are
# not `//` comment lines, of the tracked .cc and .h files, tests/ against all the rest.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { xargs -r -d '\n' cat -- | grep -Ecv '^[[:space:]]*(//.*)?$' || true; }
tests=$(git ls-files -- '*.cc' '*.h' | grep '^tests/' | count)
code=$(git ls-files -- '*.cc' '*.h' | grep -v '^tests/' | count)
awk -v t="$tests" -v c="$code" \
  'BEGIN { printf "Test weight: %d test lines / %d code lines = %.1f%%\n", t, c, c ? 100 * t / c : 0 }'
