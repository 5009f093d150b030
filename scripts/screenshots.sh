#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes pictures of the main window (main page with each microphone, dynamics
# page) and the status window into docs/screenshots/, from a real X server:
# Xvfb, started and stopped by scripts/with-xvfb.sh, with Qt on its xcb
# platform. Needs xvfb and imagemagick and, for the Chinese texts,
# fonts-wqy-microhei (scripts/install-deps.sh installs them); no display.
# The build directory is build/ unless TR640_BUILD_DIR names another.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TR640_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tr640-screenshots
bash scripts/with-xvfb.sh "$build/src/ui/tr640-screenshots" docs/screenshots
