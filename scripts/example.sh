#!/usr/bin/env bash
# Sets up, builds the tool alone (not the tests or benchmarks, so that a newcomer sees a result soonest)
# and runs the evaluator's main job on a bundled example: (a / b) + 10 over the rows of
# examples/divide.csv, printed as CSV, with the call's error on stderr. The example fails on purpose (a
# zero divisor, an overflow), so its exit status 1 is shown rather than ending the script.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_TARGET=quarry-eval scripts/build.sh >/dev/null
tool="${BUILD_DIR:-build}/tools/quarry-eval"
status=0
"$tool" --data examples/divide.csv examples/divide.rpn || status=$?
echo "(exit status $status)"
[ "$status" -le 1 ]
