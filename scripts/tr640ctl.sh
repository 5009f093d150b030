#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs tr640ctl from the build folder, building it first if needed (the
# package installs it as /usr/bin/tr640ctl instead). Arguments go to it.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ ! -f build/build.ninja ]; then
  bash scripts/install-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build -j "$(nproc)" --target tr640ctl >&2
exec build/src/cli/tr640ctl "$@"
