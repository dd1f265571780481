#!/usr/bin/env bash
# Installs every system package the build, the tests and the benchmarks need, on Debian 12.
# Idempotent and quiet: does nothing (and touches no package index) when all are present.
# Runs apt-get as root; uses sudo when started by another user.
#
#   scripts/setup.sh           what the build, the tests and the benchmarks need
#   scripts/setup.sh --fuzz    also clang with its libFuzzer and sanitizer runtimes (scripts/fuzz.sh)
set -euo pipefail

packages=(
  build-essential g++ cmake make pkgconf python3 clang-format
  libtbb-dev liblog4cplus-dev libgeos++-dev libgeos-dev libgeographiclib-dev
  libhowardhinnant-date-dev tzdata libre2-dev nlohmann-json3-dev libssl-dev libthrust-dev
  libgtest-dev libgmock-dev libbenchmark-dev
)
if [ "${1:-}" = --fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
elif [ $# -gt 0 ]; then
  echo "usage: scripts/setup.sh [--fuzz]" >&2
  exit 2
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq >/dev/null
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
