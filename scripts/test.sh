#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs every test on a fresh Debian 12 machine:
#   1. installs the Debian packages the project needs,
#   2. builds the project and runs the whole test suite,
#      then builds the Debian package, checks it with lintian, installs it,
#      checks the installed programs' hardening, starts them, runs the
#      installed tr640ctl against its virtual unit, and removes the package
#      again (scripts/package-check.sh),
#   3. runs each fuzz target for a short bounded time,
#   4. builds the whole test suite again with AddressSanitizer and
#      UndefinedBehaviorSanitizer and runs it.
# Widget tests run on Qt's offscreen platform; the X server tests start an
# Xvfb of their own. No display is needed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
fuzz_seconds=${TR640_FUZZ_SECONDS:-20}

# What the soak did (it prints its counts; CTest keeps them in its log).
soak_report() {
  grep -A 7 '^soak:' "$1/Testing/Temporary/LastTest.log" || true
}

bash scripts/install-deps.sh

echo "== rules the sources keep"
bash scripts/check-no-qtry.sh
bash scripts/check-layers.sh

echo "== build and test (build/)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
soak_report build

echo "== Debian package: build, install, start, remove (build/)"
bash scripts/package-check.sh build

echo "== fuzz targets, ${fuzz_seconds}s each (build-fuzz/)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTR640_BUILD_FUZZ=ON -DTR640_BUILD_TESTS=OFF -DTR640_BUILD_BENCH=OFF \
  -DTR640_CORE_ONLY=ON
cmake --build build-fuzz -j "$jobs"
for target in build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$target")
  corpus="fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "-- $name"
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 4
  rm -rf "$work"
done

echo "== sanitizer build and test (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTR640_SANITIZE=ON -DTR640_BUILD_BENCH=OFF \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
soak_report build-asan
