#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages, builds the program and starts it.
# Pass --demo to start the demo build, which talks to a virtual TR640.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

program=build/src/ui/tr640
if [ "${1:-}" = "--demo" ]; then
  program=build/src/ui/tr640-demo
  shift
fi
exec "$program" "$@"
