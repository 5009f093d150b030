#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs every Debian package needed to build, run and test the TR640
# control program. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  # Qt 6 widgets and charts (Charts pulls in OpenGL widgets on Qt 6.4)
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-charts-dev
  libgl-dev libxkbcommon-dev
  # Chinese text in the windows and screenshots
  fonts-wqy-microhei
  # USB HID access and device arrival/removal notices
  libhidapi-dev libudev-dev
  # tr640ctl parses its command line with CLI11
  libcli11-dev
  # the MQTT bridge: its client library, and the broker and command line
  # clients its tests and the package check talk to
  libmosquitto-dev mosquitto mosquitto-clients
  # the TLS test makes its certificate authority and the broker's certificate
  openssl
  # tests and benchmarks; bench/idle-cycle.sh counts instructions with callgrind
  googletest libgtest-dev libgmock-dev libbenchmark-dev valgrind
  # tests on a real X server: Xvfb, window titles (xprop), real input
  # events (xdotool) and window screenshots (ImageMagick's import)
  xvfb x11-utils xdotool imagemagick
  # desktop integration checks
  desktop-file-utils appstream
  # the Debian package: cpack's dependency list comes from dpkg-shlibdeps;
  # lintian checks the package as a distribution would, hardening-check
  # (devscripts) the hardening of the installed programs
  dpkg-dev lintian devscripts
)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
