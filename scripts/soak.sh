#!/usr/bin/env bash
# The long reliability run: random programs through both evaluators, memory-limit faults and
# cancellations with fresh seeds for a given number of minutes (default 30), then what was tried.
# Failing cases are shrunk and written as program text and CSV under $QUARRY_REPRO_DIR (default
# /tmp), with the quarry-eval command lines that replay them.
#
#   scripts/soak.sh [MINUTES] [BUILD_DIR]        e.g. scripts/soak.sh 5
#   QUARRY_SOAK_SEED=1234 scripts/soak.sh 10     replays the stream of one seed
#
# Builds reliability_tests in BUILD_DIR (default build) if needed, with at most two jobs.
set -euo pipefail

minutes=${1:-30}
build=${2:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if ! [[ "$minutes" =~ ^[0-9]+$ ]] || [ "$minutes" -lt 1 ] || [ "$minutes" -gt 10080 ]; then
  echo "soak: MINUTES must be a whole number in 1..10080, got '$minutes'" >&2
  exit 2
fi

if [ ! -d "$build" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target reliability_tests >/dev/null

# Fuzz targets, when the fuzzing build exists: each gets a share of the time.
# --- fuzz hook: the fuzz targets' owner fills this in. Expected shape: for each executable in
# "$build/fuzz/", run it for $fuzz_seconds (e.g. `"$target" -max_total_time="$fuzz_seconds" corpus/`)
# and add its runs to the summary. Until then the whole time goes to the evaluator soak.
fuzz_seconds=0
fuzz_targets=()
if [ -d "$build/fuzz" ]; then
  while IFS= read -r -d '' t; do fuzz_targets+=("$t"); done < <(find "$build/fuzz" -maxdepth 1 -type f -executable -print0)
fi
if [ ${#fuzz_targets[@]} -gt 0 ]; then
  echo "soak: ${#fuzz_targets[@]} fuzz target(s) found in $build/fuzz; the fuzz hook is not filled in yet" >&2
fi
# --- end of fuzz hook

soak_seconds=$((minutes * 60 - fuzz_seconds))
echo "soak: ${minutes} minute(s) of random programs, memory-limit faults and cancellations"
log=$(mktemp)
status=0
# A watchdog: one case may outlast the deadline a little, never by minutes (a hung op).
QUARRY_SOAK_SECONDS=$soak_seconds timeout --signal=ABRT $((soak_seconds + 300)) \
  "$build/tests/reliability/reliability_tests" \
  --gtest_filter='Soak.*' --gtest_color=no >"$log" 2>&1 || status=$?
# Progress lines and the final figures; failures in full.
grep -E '^\[ soak \]|^(programs run|calls|rows compared|faults injected|cancellations|mismatches):' "$log" | tail -n 8
if [ "$status" -ne 0 ]; then
  echo "soak: FAILED (exit status $status); the full log:" >&2
  cat "$log" >&2
  if [ "$status" -gt 128 ] || [ "$status" -eq 124 ]; then
    dir=${QUARRY_REPRO_DIR:-/tmp}
    echo "soak: the process died or hung; the case it was running is $dir/quarry-soak-current.rpn and .csv" >&2
  fi
fi
if [ "$status" -ne 0 ]; then
  keep=${QUARRY_REPRO_DIR:-/tmp}/quarry-soak.log
  cp "$log" "$keep"
  echo "soak: the full log is kept in $keep" >&2
fi
rm -f "$log"
exit "$status"
