#!/usr/bin/env bash
# Sets up, builds and runs the evaluator's main job on the bundled example program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
"${BUILD_DIR:-build}/tools/quarry-eval" --explain examples/divide.rpn
