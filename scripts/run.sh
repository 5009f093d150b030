#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages, builds the program and starts it.
# Pass --demo to start the demo build, which talks to a virtual TR640.
# Builds only the program it starts.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

target=tr640
if [ "${1:-}" = "--demo" ]; then
  target=tr640-demo
  shift
fi

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only the program started: the tests, benchmarks and fuzzers are
# scripts/test.sh's to build.
cmake --build build -j "$(nproc)" --target "$target"
exec "build/src/ui/$target" "$@"
