#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. With --sanitize, in build-asan/ under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
args=()
if [ "${1:-}" = "--sanitize" ]; then
  export BUILD_DIR=${BUILD_DIR:-build-asan}
  args=(-DQUARRY_SANITIZE=ON -DQUARRY_BUILD_BENCH=OFF)
fi
scripts/build.sh "${args[@]}"
ctest --test-dir "${BUILD_DIR:-build}" -j2 --output-on-failure --timeout 600
