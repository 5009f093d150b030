#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Wake-ups and CPU of the whole program (every thread), in three cases:
#   no unit   tr640 with no TR640 present (offscreen);
#   idle      tr640-demo linked to its virtual unit, nobody touching it
#             (offscreen);
#   drag      tr640-demo linked, a band handle of the EQ graph dragged to
#             and fro by real X pointer events (xdotool on an Xvfb server
#             of its own), 100 moves a second.
# A wake-up is a context switch of any of the program's threads (voluntary
# and involuntary, from /proc/PID/task/*/status); CPU is the threads' time
# on a core (/proc/PID/task/*/schedstat) as a share of one core. Each case
# is measured over the same period, after the program has settled (linked,
# for the demo).
# Usage: bash bench/wakeups.sh [--seconds N] [--build DIR]
#   (default 30 s, build-release; the programs must have been built)
# Targets: no unit at most 1 wake-up/s and under 0.02 % of a core; linked
# and idle at most 20/s and under 0.2 %; while dragging, the graph follows.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=30
build=build-release
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N] [--build DIR]" >&2; exit 2 ;;
  esac
done
programs=$build/src/ui
settle=6
# The idle cases start once the caret has come to rest, ten seconds after
# the last input, as it has on a program nobody touches.
rest=12

# One line per thread alive now: its id, context switches and nanoseconds
# on a core.
sample() {
  local pid=$1 task v n run
  for task in /proc/"$pid"/task/*; do
    v=$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$task/status" 2>/dev/null) || continue
    n=$(awk '/^nonvoluntary_ctxt_switches/ { print $2 }' "$task/status" 2>/dev/null) || continue
    read -r run _ <"$task/schedstat" 2>/dev/null || continue
    echo "${task##*/} $((${v:-0} + ${n:-0})) $run"
  done | sort
}

# Prints one line of the table for the program running as `pid`: the sums
# over the threads that lived through the whole period (a thread that ends
# meanwhile takes its counts with it).
measure() {
  local name=$1 pid=$2 before after
  before=$(sample "$pid")
  sleep "$seconds"
  after=$(sample "$pid")
  join <(echo "$before") <(echo "$after") | awk -v name="$name" -v s="$seconds" '
    { switches += $4 - $2; ns += $5 - $3; threads++ }
    END { printf "%-10s %8.1f wake-ups/s %8.3f %% of a core  (%d threads, %d s)\n",
                 name, switches / s, ns / (s * 1e9) * 100, threads, s }'
}

stop() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

printf '%-10s %19s %20s\n' case wake-ups CPU
QT_QPA_PLATFORM=offscreen "$programs/tr640" >/dev/null 2>&1 &
pid=$!
sleep "$rest"
measure "no unit" "$pid"
stop "$pid"

QT_QPA_PLATFORM=offscreen "$programs/tr640-demo" >/dev/null 2>&1 &
pid=$!
sleep "$rest"
measure "idle" "$pid"
stop "$pid"

# The drag: the demo on an X server of its own; the handle of microphone 1's
# second band (the virtual unit holds it at 250 Hz, -2 dB) is pressed and
# moved 20 pixels to and fro.
drag_case() {
  local tr640_pid main geometry x y cx cy moves
  QT_QPA_PLATFORM=xcb "$programs/tr640-demo" >/dev/null 2>&1 &
  tr640_pid=$!
  sleep "$settle"
  main=
  for id in $(xdotool search --pid "$tr640_pid" 2>/dev/null); do
    if xprop -id "$id" -notype _NET_WM_NAME 2>/dev/null | grep -q 'Halvane\['; then
      if xwininfo -id "$id" | grep -q 'IsViewable'; then main=$id; fi
    fi
  done
  if [ -z "$main" ]; then
    echo "drag: the main window was not found" >&2
    stop "$tr640_pid"
    return 1
  fi
  geometry=$(xwininfo -id "$main")
  x=$(awk '/Absolute upper-left X/ { print $4 }' <<<"$geometry")
  y=$(awk '/Absolute upper-left Y/ { print $4 }' <<<"$geometry")
  # The graph's surface lies at (39, 335) in the window, 829 x 212 pixels,
  # 10 Hz to 24 kHz across on a log scale, +12 dB to -30 dB down.
  read -r cx cy < <(awk -v x="$x" -v y="$y" 'BEGIN {
    fx = (log(250) / log(10) - 1) / (log(2400) / log(10)) * 829
    fy = (12 - (-2)) / 42 * 211
    printf "%d %d\n", x + 39 + fx, y + 335 + fy }')
  # One xdotool run for the whole drag, so that the driver's own start-up
  # does not pace the moves.
  moves=()
  for _ in $(seq $((seconds * 100 / 40 + 1))); do
    for step in $(seq 1 20) $(seq 19 -1 0); do moves+=(mousemove "$((cx + step))" "$cy" sleep 0.01); done
  done
  xdotool mousemove "$cx" "$cy" sleep 0.2 mousedown 1 sleep 0.2
  xdotool "${moves[@]}" &
  local driver=$!
  sleep 1
  measure "drag" "$tr640_pid"
  kill "$driver" 2>/dev/null || true
  wait "$driver" 2>/dev/null || true
  xdotool mouseup 1
  stop "$tr640_pid"
}
export -f drag_case measure sample stop
export seconds settle programs
if command -v xdotool >/dev/null && command -v Xvfb >/dev/null; then
  bash scripts/with-xvfb.sh bash -c drag_case
else
  echo "drag: needs xdotool and Xvfb (scripts/install-deps.sh installs them)" >&2
fi
