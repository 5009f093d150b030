#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the compressor curve window to docs/screenshots/compressor.png on
# Qt's offscreen platform; no display is needed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TR640_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target tr640-compressor-screenshot
mkdir -p docs/screenshots
QT_QPA_PLATFORM=offscreen "$build/tests/ui/tr640-compressor-screenshot" docs/screenshots/compressor.png
