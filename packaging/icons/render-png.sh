#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the PNG icon sizes from the SVG. The PNGs are kept in the
# repository, so this only needs running after the SVG changes.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
name=io.github.tr640.Control
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" "$name.svg" -o "hicolor/${size}x${size}/apps/$name.png"
done
