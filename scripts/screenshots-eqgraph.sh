#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes pictures of the EQ graph with a few shaped bands (a high pass, two
# shelves, a cut and a peak with its readout) into docs/screenshots/eq-graph.png
# and of the main window around it into docs/screenshots/main-window-eq.png,
# in each language named (codes as --language takes them; zh when none; the
# pictures of another language end in -CODE.png), from a real X server (Xvfb
# with Qt's xcb platform, scripts/with-xvfb.sh); then the Chinese main window
# again with Qt's scaling at 2, as on a high-density screen, into
# docs/screenshots/main-window-eq-scale2.png. No display needed.
# The build directory is build/ unless TR640_BUILD_DIR names another.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TR640_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tr640-eqgraph-screenshot
for language in "${@:-zh}"; do
  bash scripts/with-xvfb.sh "$build/tests/eqgraph/tr640-eqgraph-screenshot" docs/screenshots "$language"
done

# At scale 2 the window takes twice the room: a screen large enough for it.
scaled=$(mktemp -d)
trap 'rm -rf "$scaled"' EXIT
QT_SCALE_FACTOR=2 TR640_XVFB_SCREEN=2560x1600x24 \
  bash scripts/with-xvfb.sh "$build/tests/eqgraph/tr640-eqgraph-screenshot" "$scaled"
cp "$scaled/main-window-eq.png" docs/screenshots/main-window-eq-scale2.png
echo "wrote docs/screenshots/main-window-eq-scale2.png"
