#!/usr/bin/env bash
# make demo asks apt only for what the demo needs: the packages it would ask for on a machine that
# has none of them hold the compiler, CMake, Qt 6 and the MIDI libraries and nothing of the
# tests' set-up; and the demo's configuration succeeds without the test libraries.
#   demo_deps_test.sh SOURCE-DIR
set -euo pipefail
src=$(cd "$1" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/velda-demo-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT

# What make demo runs, as make would run it; its install-deps lines in print mode.
make -n -s --no-print-directory -C "$src" demo >"$work/recipe"
grep 'install-deps' "$work/recipe" >"$work/deps-lines" || fail "make demo does not run install-deps"
: >"$work/demo"
while read -r line; do
  (cd "$src" && VELDA_DEPS_PRINT=1 bash -c "$line") >>"$work/demo"
done <"$work/deps-lines"
sort -u "$work/demo" -o "$work/demo"

for needed in build-essential cmake qt6-base-dev librtmidi-dev libjack-jackd2-dev libasound2-dev; do
  grep -qx "$needed" "$work/demo" || fail "make demo does not ask for $needed"
done
# Nothing that only the tests use: the test set minus the demo's own.
(cd "$src" && VELDA_DEPS_PRINT=1 scripts/install-deps test) | sort -u >"$work/all"
comm -13 "$work/demo" "$work/all" >"$work/test-only"
grep -q . "$work/test-only" || fail "install-deps test adds nothing to the demo's packages"
extra=$(grep -E 'mingw|wine|clang|valgrind|imagemagick|xvfb|lintian|mmdebstrap|nsis|gtest|gmock|googletest|benchmark|jackd2$' \
  "$work/demo" || true)
[ -z "$extra" ] || fail "make demo asks for test packages: $extra"
for p in $(cat "$work/test-only"); do
  grep -qx "$p" "$work/demo" && fail "make demo asks for $p"
done

# The demo's configuration with the test libraries out of reach.
flags=$(printf 'print-demo-config:\n\t@echo $(DEMO_CONFIG)\n' |
  make -s --no-print-directory -C "$src" -f Makefile -f - print-demo-config)
grep -q -- '-DVELDA_TESTS=OFF' <<<"$flags" || fail "make demo configures the tests ($flags)"
# shellcheck disable=SC2086
cmake -S "$src" -B "$work/build" -G Ninja $flags -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; fail "the demo's configuration needs a test package"; }
echo "demo set-up: ok ($(wc -l <"$work/demo") packages: $(tr '\n' ' ' <"$work/demo"))"
