#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# tr640ctl's scripts and --broker, timed as a user's shell sees them: from
# the process start to its exit.
#
#   bench/ctl-scripts.sh [--build DIR] [--runs N]
#
# 1. A script of ten sets and a mode recall against a virtual unit, beside
#    its floor: one connection (1600 ms: the key, the connect tick, both
#    pages read), each set's page-1 read-back (10 transfer ticks, 500 ms)
#    and the recall's (its acknowledgement at the next 40 ms hold tick, then
#    page 1 in 500 ms): 1600 + 10 * 500 + 540 = 7140 ms. Target ratio <= 1.1.
# 2. `tr640ctl --broker ... set mic1.eq3.gain=-3dB` through a tr640-bridge
#    over one virtual unit on a Mosquitto of its own on a free loopback
#    port. Target <= 60 ms.
# 3. The same script as in 1 through that bridge.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-release
runs=10
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--runs N]" >&2; exit 2 ;;
  esac
done
ctl=$build/src/cli/tr640ctl
bridge=$build/src/bridge/tr640-bridge
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Milliseconds a command takes from start to exit.
wall_ms() {
  local start
  start=$(date +%s%N)
  "$@" >/dev/null
  echo $(( ($(date +%s%N) - start) / 1000000 ))
}

# min, median and max of the numbers on standard input.
summary() {
  sort -n | awk '{ v[NR] = $1 } END { printf "min %d ms, median %d ms, max %d ms (%d runs)\n", v[1], v[int((NR + 1) / 2)], v[NR], NR }'
}

script=$work/evening.tr640
for volume in 10 20 30 40 50 60 70 80 90 100; do echo "set mic1.volume=$volume" >>"$script"; done
echo "mode recall 2" >>"$script"

floor=7140
for _ in 1 2 3; do
  wall=$(wall_ms "$ctl" --virtual --quiet -f "$script")
  echo "script of ten sets and a recall, --virtual: ${wall} ms; floor ${floor} ms; ratio $(awk -v w="$wall" -v f="$floor" 'BEGIN { printf "%.3f", w / f }')"
done

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/mosquitto.conf" <<EOF
listener $port 127.0.0.1
allow_anonymous true
persistence false
EOF
mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
pids+=($!)
broker=mqtt://127.0.0.1:$port
"$bridge" --broker "$broker" --virtual 1 >"$work/bridge.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  "$ctl" --broker "$broker" --timeout 1 --quiet get mic1.volume >/dev/null 2>&1 && break
  sleep 0.1
done

for _ in $(seq "$runs"); do wall_ms "$ctl" --broker "$broker" --quiet set mic1.eq3.gain=-3dB; done |
  { printf 'tr640ctl --broker ... set mic1.eq3.gain=-3dB: '; summary; }
for _ in 1 2 3; do wall_ms "$ctl" --broker "$broker" --quiet -f "$script"; done |
  { printf 'script of ten sets and a recall, --broker: '; summary; }
