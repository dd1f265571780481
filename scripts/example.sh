#!/usr/bin/env bash
# Sets up, builds and runs the evaluator's main job on the bundled example programs: the analysis of
# examples/divide.rpn, then the evaluation of examples/constants.rpn over three rows.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
"${BUILD_DIR:-build}/tools/quarry-eval" --explain examples/divide.rpn
"${BUILD_DIR:-build}/tools/quarry-eval" --rows 3 examples/constants.rpn
