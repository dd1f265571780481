#!/usr/bin/env bash
# The installed tree as a consumer sees it. Installs the build tree into a temporary prefix, then:
#   - the two libraries carry their SONAME and versioned file names;
#   - the README's embedding example (consumer/embed.cpp) builds with warnings as errors once through
#     find_package(Quarry) and once through the pkg-config one-liner, and prints the hand-computed
#     results of 7 / 2 and 7 / 0 with nothing at all on stderr;
#   - every installed header compiles on its own from the installed include directory;
#   - the installed quarry-eval runs from its prefix on the bundled divide example.
# Writes only under a temporary folder, removed at exit. `cmake --install` also rewrites the build
# tree's install_manifest.txt; the previous one (or its absence) is restored.
#
# Usage: install_test.sh BUILD_DIR SOURCE_DIR CMAKE CXX VERSION SANITIZE(0|1)
set -euo pipefail
build=$1 source=$2 cmake=$3 cxx=$4 version=$5 sanitize=$6

work=$(mktemp -d "${TMPDIR:-/tmp}/quarry-install.XXXXXX")
manifest=$build/install_manifest.txt
if [ -e "$manifest" ]; then cp -p "$manifest" "$work/manifest.saved"; fi
cleanup() {
  if [ -e "$work/manifest.saved" ]; then cp -p "$work/manifest.saved" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# Runs a command quietly, showing its output only when it fails.
quiet() {
  if ! "$@" >"$work/step.log" 2>&1; then
    cat "$work/step.log" >&2
    return 1
  fi
}

prefix=$work/prefix
quiet "$cmake" --install "$build" --prefix "$prefix" || { fail "cmake --install"; exit 1; }
pc=$(find "$prefix" -name quarry.pc -path '*/pkgconfig/*')
[ -n "$pc" ] || { fail "no quarry.pc installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")

warnings=(-Wall -Wextra -Wpedantic -Werror)
sanitizers=()
# shellcheck disable=SC2054 # one option whose value is a list
if [ "$sanitize" = 1 ]; then sanitizers=(-fsanitize=address,undefined); fi
export PKG_CONFIG_PATH=$libdir/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}

# Shared libraries: lib<name>.so -> lib<name>.so.<major> (the SONAME) -> lib<name>.so.<version>.
major=${version%%.*}
for name in quarry_Base_intel quarry_Evaluator_intel; do
  lib=$libdir/lib$name.so
  [ "$(readlink -f "$lib")" = "$(readlink -f "$lib.$version")" ] || fail "$lib does not lead to $lib.$version"
  soname=$(readelf -d "$lib.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "lib$name.so.$major" ] || fail "$name: SONAME '$soname', expected lib$name.so.$major"
done

# 7 / 2 is 3 (present); 7 / 0 leaves the cell 0 with code 2 in the null byte; the call returns 2.
expected='values 3 0
nulls 0 2
code 2
thrown Integer divide-by-zero'
check_run() { # label, program...
  local label=$1
  shift
  local status=0
  "$@" >"$work/out" 2>"$work/err" || status=$?
  [ $status -eq 0 ] || fail "$label: exit status $status"
  [ "$(cat "$work/out")" = "$expected" ] || fail "$label: output differs:"$'\n'"$(cat "$work/out")"
  [ ! -s "$work/err" ] || fail "$label: wrote to stderr:"$'\n'"$(cat "$work/err")"
}

# Through find_package: only the temporary prefix is searched for Quarry.
if quiet "$cmake" -S "$source/tests/install/consumer" -B "$work/find-package" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  -DEMBED_SANITIZE="$sanitize" && quiet "$cmake" --build "$work/find-package"; then
  grep -q "^Quarry_DIR:PATH=$prefix/" "$work/find-package/CMakeCache.txt" || fail "Quarry found outside the prefix"
  check_run find_package "$work/find-package/embed"
else
  fail "find_package consumer did not build"
fi

# Through pkg-config, the README's one-liner.
# shellcheck disable=SC2046 # the flags are words
if quiet "$cxx" -std=c++20 "${warnings[@]}" "${sanitizers[@]}" "$source/tests/install/consumer/embed.cpp" \
  -o "$work/embed-pc" $(pkg-config --cflags --libs quarry); then
  check_run pkg-config env LD_LIBRARY_PATH="$libdir" "$work/embed-pc"
else
  fail "pkg-config consumer did not build"
fi

# Each installed header on its own, with only the installed include directory for the project; two at
# a time.
headers=$(cd "$prefix/include/quarry" && find . -name '*.h' | sed 's|^\./||' | sort)
[ -n "$headers" ] || fail "no headers installed"
check_header() { # header path below include/quarry; prints the compiler's output when it fails
  local tu=$work/header-${1//\//-}.cpp
  printf '#include "%s"\n' "$1" >"$tu"
  # shellcheck disable=SC2086 # the flags are words
  "$cxx" -std=c++20 $header_flags -fsyntax-only "$tu" >"$tu.log" 2>&1 || { echo "header $1:" && cat "$tu.log"; }
}
export -f check_header
export cxx work
header_flags="${warnings[*]} $(pkg-config --cflags quarry)"
export header_flags
# shellcheck disable=SC2016 # $1 is the inner shell's argument
header_failures=$(printf '%s\n' "$headers" | xargs -P2 -I{} bash -c 'check_header "$1"' _ {})
[ -z "$header_failures" ] || fail "installed headers do not compile on their own:"$'\n'"$header_failures"

# The installed tool finds its libraries from its own folder.
status=0
env -u LD_LIBRARY_PATH "$prefix/bin/quarry-eval" --data "$source/examples/divide.csv" \
  "$source/examples/divide.rpn" >"$work/out" 2>/dev/null || status=$?
# (a / b) + 10 over the rows 7,2 / 7,0 / min,-1 / -7,2 / NULL,5, worked by hand.
[ $status -eq 1 ] || fail "quarry-eval: exit status $status, expected 1"
[ "$(cat "$work/out")" = "value,state
13,0
,2
,17
7,0
10,0" ] || fail "quarry-eval output:"$'\n'"$(cat "$work/out")"

[ $failures -eq 0 ] || exit 1
echo "installed tree: libraries, headers, package files and quarry-eval all work"
