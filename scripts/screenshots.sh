#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes pictures of the main window (main page with each microphone, dynamics
# page), the status window and the demo's window into docs/screenshots/, in
# each language named (codes as --language takes them; zh when none):
#   scripts/screenshots.sh zh en
# Pictures in another language than Chinese carry its code in their names.
# They come from a real X server: Xvfb, started and stopped by
# scripts/with-xvfb.sh, with Qt on its xcb platform. Needs xvfb and
# imagemagick and, for the Chinese texts, fonts-wqy-microhei
# (scripts/install-deps.sh installs them); no display.
# The build directory is build/ unless TR640_BUILD_DIR names another.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${TR640_BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tr640-screenshots
for language in "${@:-zh}"; do
  bash scripts/with-xvfb.sh "$build/src/ui/tr640-screenshots" docs/screenshots "$language"
done
