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

# Fuzz targets: a fifth of the time goes to the parser fuzz targets, shared equally, through
# scripts/fuzz.sh (which installs clang through scripts/setup.sh --fuzz and builds the targets in
# build-fuzz/ the first time: that build is not counted in the time). QUARRY_SOAK_FUZZ=0 gives all
# the time to the evaluator soak.
fuzz_seconds=0
fuzz_status=0
if [ "${QUARRY_SOAK_FUZZ:-1}" != 0 ]; then
  ntargets=$(sed -n '/^set(QUARRY_FUZZ_TARGETS/,/)/p' fuzz/CMakeLists.txt | grep -o '[a-z_]*:[A-Za-z]*:[a-z]*' | wc -l)
  per_target=$((minutes * 60 / 5 / ntargets))
  if [ "$per_target" -ge 1 ]; then
    fuzz_seconds=$((per_target * ntargets))
    echo "soak: ${per_target} s for each of ${ntargets} fuzz targets"
    scripts/fuzz.sh "$per_target" || fuzz_status=$?
  fi
fi

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
if [ "$status" -eq 0 ] && [ "$fuzz_status" -ne 0 ]; then
  echo "soak: a fuzz target failed (scripts/fuzz.sh exit status $fuzz_status); see build-fuzz/crashes/" >&2
  status=$fuzz_status
fi
exit "$status"
