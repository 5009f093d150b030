#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command against an X server of its own: starts Xvfb on a display
# number no other server holds (Xvfb picks it and reports it through a file
# descriptor, so parallel runs never clash), runs the command there with Qt
# on its xcb platform, and stops the server again whatever the command did.
# TR640_XVFB_SCREEN sets the screen size (default 1920x1200x24).
set -euo pipefail

if ! command -v Xvfb >/dev/null; then
  echo "with-xvfb: Xvfb is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

work=$(mktemp -d)
xvfb_pid=
child=
cleanup() {
  if [ -n "$child" ]; then
    kill "$child" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# A test runner's time-out ends this script; the server and the command go too.
trap 'exit 143' TERM INT

Xvfb -displayfd 3 -screen 0 "${TR640_XVFB_SCREEN:-1920x1200x24}" -nolisten tcp -noreset \
  3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
# The number arrives once the server accepts clients.
for _ in $(seq 200); do
  [ -s "$work/display" ] && break
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "with-xvfb: Xvfb stopped at start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
  fi
  sleep 0.05
done
display=$(head -n 1 "$work/display")
if [ -z "$display" ]; then
  echo "with-xvfb: Xvfb reported no display within 10 s" >&2
  exit 1
fi

export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
# Qt wants a private runtime folder; the server's work folder serves.
export XDG_RUNTIME_DIR="$work"
chmod 700 "$work"
unset WAYLAND_DISPLAY
# In the background, so that a signal to this script is handled at once.
"$@" &
child=$!
status=0
wait "$child" || status=$?
child=
exit "$status"
