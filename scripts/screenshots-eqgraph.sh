#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the EQ graph with a few shaped bands (a high pass, two shelves, a
# cut and a peak with its readout) to docs/screenshots/eq-graph.png, and the
# main window around it to docs/screenshots/main-window-eq.png, in each
# language named (codes as --language takes them; zh when none; the
# pictures of another language end in -CODE.png). Runs on Qt's offscreen
# platform; no display is needed.
# The build directory is build/ unless TR640_BUILD_DIR names another.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TR640_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tr640-eqgraph-screenshot
for language in "${@:-zh}"; do
  QT_QPA_PLATFORM=offscreen "$build/tests/eqgraph/tr640-eqgraph-screenshot" docs/screenshots "$language"
done
