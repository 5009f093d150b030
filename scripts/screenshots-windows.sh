#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes pictures of the link label with no unit, the question about changes
# made offline, the main window's menu and a tooltip into docs/screenshots/,
# in each language named (codes as --language takes them; zh when none):
#   scripts/screenshots-windows.sh zh en
# From a real X server (Xvfb with Qt's xcb platform, scripts/with-xvfb.sh);
# no display is needed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TR640_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tr640-windows-screenshot
for language in "${@:-zh}"; do
  bash scripts/with-xvfb.sh "$build/tests/ui/tr640-windows-screenshot" docs/screenshots "$language"
done
