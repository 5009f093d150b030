#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes a picture of the compressor curve window into
# docs/screenshots/compressor.png from a real X server (Xvfb with Qt's xcb
# platform, scripts/with-xvfb.sh); no display is needed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TR640_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tr640-compressor-screenshot
mkdir -p docs/screenshots
bash scripts/with-xvfb.sh "$build/tests/ui/tr640-compressor-screenshot" docs/screenshots/compressor.png
