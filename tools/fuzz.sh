#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with ASan and UBSan) and runs each
# for the given seconds on a working copy of its seeds
# (tests/fuzz/corpus/NAME, kept in build/fuzz/corpus/NAME between runs).
# Prints each target's executions and coverage; exits non-zero when a
# target found a fault (its log and the crashing input are in build/fuzz).
#   bash tools/fuzz.sh [SECONDS]   (default: FUZZ_SECONDS, else 30)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-${FUZZ_SECONDS:-30}}
bash tools/setup.sh >/dev/null
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
status=0
for seeds in tests/fuzz/corpus/*/; do
  name=$(basename "$seeds")
  work=$root/build/fuzz/corpus/$name
  log=$root/build/fuzz/$name.log
  mkdir -p "$work"
  cp -n "$seeds"* "$work"/ 2>/dev/null || true
  if (cd "$root/build/fuzz" && "$root/build/fuzz/tests/fuzz/${name}_fuzz" \
      -max_total_time="$seconds" -print_final_stats=1 "$work" >"$log" 2>&1); then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -1 | sed -n 's/.*cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\).*/\1 edges, \2 features, \3 inputs/p')
    echo "fuzz $name: $runs executions in $seconds s, coverage $cov"
  else
    tail -30 "$log"
    echo "error: the fuzz target $name found a fault (see $log)" >&2
    status=1
  fi
done
exit $status
