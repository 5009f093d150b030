#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the main window (main page with each microphone, dynamics page),
# the status window and the demo's window to PNG files in docs/screenshots/,
# in each language named (codes as --language takes them; zh when none):
#   scripts/screenshots.sh zh en
# Pictures in another language than Chinese carry its code in their names.
# Runs on Qt's offscreen platform, so no display is needed; the Chinese
# texts need the fonts-wqy-microhei package (scripts/install-deps.sh
# installs it). The build directory is build/ unless TR640_BUILD_DIR names
# another.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TR640_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tr640-screenshots
for language in "${@:-zh}"; do
  QT_QPA_PLATFORM=offscreen "$build/src/ui/tr640-screenshots" docs/screenshots "$language"
done
