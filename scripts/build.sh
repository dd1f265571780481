#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh), then configures and builds into build/ (or $BUILD_DIR).
# Extra arguments go to the CMake configure step, e.g. -DQUARRY_SANITIZE=ON. BUILD_TARGET names one
# target to build instead of all (scripts/example.sh builds only quarry-eval).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" -j2 ${BUILD_TARGET:+--target "$BUILD_TARGET"}
