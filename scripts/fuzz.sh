#!/usr/bin/env bash
# Runs the libFuzzer targets of the text readers, each for the given number of seconds, under
# AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh SECONDS [TARGET ...]      (default: every target in fuzz/CMakeLists.txt)
#
# Builds them first with clang in build-fuzz/ (QUARRY_FUZZ=ON, QUARRY_SANITIZE=ON). Each target starts
# from its working corpus build-fuzz/corpus/<target>, which keeps what earlier runs found, and the
# checked-in seeds fuzz/corpus/<target> (read only). Prints one line per target on stdout:
#
#   <target> executions=<n> exec_per_s=<n> new=<corpus entries added> crashes=<0 or 1>
#
# A crash, sanitizer report, leak, timeout or out-of-memory stops that target's run and is kept as
# build-fuzz/crashes/<target>/<kind>-<sha1>; the exit status is 1 when any target crashed, 2 on a
# usage or build error. Environment: QUARRY_FUZZ_BUILD_DIR (default build-fuzz), QUARRY_FUZZ_JOBS
# (build parallelism, default 2).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUARRY_FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${QUARRY_FUZZ_JOBS:-2}

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]] || [ "$1" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh SECONDS [TARGET ...]" >&2
  exit 2
fi
seconds=$1
shift

all_targets=$(sed -n '/^set(QUARRY_FUZZ_TARGETS/,/)/p' "$root/fuzz/CMakeLists.txt" |
  grep -o '[a-z_]*:[A-Za-z]*:[a-z]*' | cut -d: -f1)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && mapfile -t targets <<<"$all_targets"
for t in "${targets[@]}"; do
  if ! grep -qx "$t" <<<"$all_targets"; then
    echo "fuzz: no target named $t (targets: $(echo $all_targets))" >&2
    exit 2
  fi
done

if ! "$root/scripts/setup.sh" --fuzz || ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is missing and scripts/setup.sh --fuzz could not install it" >&2
  exit 2
fi

mkdir -p "$build"
log=$build/fuzz-build.log
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
if ! { CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARRY_FUZZ=ON \
         -DQUARRY_SANITIZE=ON -DQUARRY_BUILD_TESTS=OFF -DQUARRY_BUILD_BENCH=OFF "${launcher[@]}" &&
       cmake --build "$build" -j"$jobs" --target $(printf 'fuzz_%s ' "${targets[@]}"); } >"$log" 2>&1; then
  echo "fuzz: the build failed; see $log" >&2
  tail -20 "$log" >&2
  exit 2
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  crashes=$build/crashes/$t
  mkdir -p "$corpus" "$crashes"
  before=$(find "$corpus" -type f | wc -l)
  artifacts_before=$(find "$crashes" -type f | wc -l)
  out=$build/fuzz-$t.log
  # New inputs go to the first directory (the working corpus); the seeds are read only.
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" "$root/fuzz/corpus/$t" >"$out" 2>&1
  rc=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out" | tail -1)
  # A crash ends the run before the final statistics: take the last status line instead.
  [ -z "$executions" ] && executions=$(grep -o "^#[0-9]*" "$out" | tail -1 | tr -d "#")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$out" | tail -1)
  after=$(find "$corpus" -type f | wc -l)
  artifacts=$(($(find "$crashes" -type f | wc -l) - artifacts_before))
  crashed=0
  if [ $rc -ne 0 ] || [ "$artifacts" -gt 0 ]; then
    crashed=1
    status=1
    echo "fuzz: $t crashed (exit $rc); log $out, inputs in $crashes" >&2
  fi
  echo "$t executions=${executions:-0} exec_per_s=${speed:-0} new=$((after - before)) crashes=$crashed"
done
exit $status
