#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints every figure the project tracks, from a Release build, so a change
# can be compared with the last release:
#   frame building and the preset round trip, the EQ evaluation, DrawEq,
#   connect time against the protocol's floor, idle CPU while linked,
#   start-up time and peak memory, tr640ctl's wall time against the
#   protocol's floor and its time to the first frame, the whole program's
#   wake-ups and CPU with no unit, linked and idle, and while a handle is
#   dragged, the instructions of the demo's idle keep-alive cycle, the
#   demo's resident memory left linked and idle, and
#   tr640-bridge's /set to ok over a broker on loopback, its idle CPU per
#   unit, and ten bridges of eight units each on one broker under 50
#   changes a second.
# Usage: bash bench/run-all.sh [--idle-seconds N] [--memory-minutes M]
#   (defaults 60 s and 10 minutes)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
idle_seconds=60
memory_minutes=10
while [ $# -gt 0 ]; do
  case $1 in
    --idle-seconds) idle_seconds=$2; shift 2 ;;
    --memory-minutes) memory_minutes=$2; shift 2 ;;
    *) echo "usage: $0 [--idle-seconds N] [--memory-minutes M]" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh >/dev/null
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTR640_BUILD_TESTS=OFF >/dev/null
cmake --build build-release -j "$(nproc)" >/dev/null

export QT_QPA_PLATFORM=offscreen
b=build-release/bench
echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "== frames and preset round trip"
"$b/tr640_bench_core" --benchmark_format=console 2>/dev/null | grep -E '^BM_'
echo "== EQ evaluation of five bands"
"$b/tr640_bench_eq" 2>/dev/null | grep -E '^BM_'
echo "== DrawEq on the 829 x 212 bitmap"
"$b/tr640_bench_eqgraph" 2>/dev/null | grep -E '^BM_'
echo "== connect time (floor 1600 ms) and change bursts"
"$b/tr640_bench_link" 2>/dev/null | grep -E 'min |frames/s'
echo "== idle CPU while linked (${idle_seconds} s)"
"$b/tr640_bench_idle" --seconds "$idle_seconds" 2>/dev/null | tail -n 3
echo "== wake-ups and CPU of the whole program (${idle_seconds} s each)"
bash bench/wakeups.sh --seconds "$idle_seconds" --build build-release
echo "== tr640-demo linked and idle: instructions of one keep-alive cycle (20 s)"
bash bench/idle-cycle.sh --build build-release || true
echo "== tr640-demo linked and idle: resident memory each minute (${memory_minutes} min)"
bash bench/idle-memory.sh "$memory_minutes" --build build-release
echo "== start-up to main window shown, peak memory (3 runs)"
for _ in 1 2 3; do "$b/tr640_bench_startup" 2>/dev/null; done
echo "== tr640ctl --virtual: wall time against the protocol's floor (3 runs each)"
# Each command's floor is what the link's own timers take, with a unit that
# answers at once:
#   the connection: the key goes out at once, the connect read starts at
#     the next 1000 ms connect-timer tick and reads pages 0 and 1 in 12
#     transfer ticks of 50 ms = 1600 ms;
#   set of n values: the first frame goes out at once on an idle link, each
#     further one waits for the next 40 ms hold tick, then page 1 is read
#     back in 10 transfer ticks (500 ms); one value: 1600 + 0 + 500 = 2100 ms;
#   dump: the connect read has already read both pages = 1600 ms;
#   preset push: + the write of page 1 in 10 transfer ticks (500 ms)
#     + the file's three system settings (the first at once, each further
#     one at the next 40 ms hold tick: 80 ms) + the read-back of pages 0
#     and 1 in 12 transfer ticks (600 ms) = 2780 ms.
ctl=build-release/src/cli/tr640ctl
preset=$(mktemp --suffix=.Nddt)
"$ctl" --virtual --quiet preset pull --force "$preset"
ctl_floor() {
  case $1 in
    set*) echo $((1600 + 40 * ($(wc -w <<<"$1") - 2) + 500)) ;;
    dump) echo 1600 ;;
    preset*) echo $((1600 + 500 + 80 + 600)) ;;
  esac
}
for cmd in "set mic1.eq3.gain=-3dB" "dump" "preset push $preset"; do
  floor=$(ctl_floor "$cmd")
  for _ in 1 2 3; do
    start=$(date +%s%N)
    # shellcheck disable=SC2086
    "$ctl" --virtual --quiet $cmd >/dev/null
    wall=$(( ($(date +%s%N) - start) / 1000000 ))
    echo "tr640ctl ${cmd/$preset/FILE}: ${wall} ms; floor ${floor} ms; ratio $(awk -v w="$wall" -v f="$floor" 'BEGIN { printf "%.3f", w / f }')"
  done
done
rm -f "$preset"

echo "== tr640ctl scripts and --broker (targets: script ratio <= 1.1, --broker set <= 60 ms)"
bash bench/ctl-scripts.sh --build build-release

echo "== tr640ctl: process start to the first frame written (5 runs)"
# TR640CTL_STAMP_FIRST_FRAME makes tr640ctl print the CLOCK_MONOTONIC time
# of its first HID write; the clock is read just before the process is
# started, so fork and exec count too.
for _ in 1 2 3 4 5; do
  python3 - "$ctl" <<'PY'
import subprocess, sys, time, os
env = dict(os.environ, TR640CTL_STAMP_FIRST_FRAME="1")
start = time.clock_gettime(time.CLOCK_MONOTONIC)
run = subprocess.run([sys.argv[1], "--virtual", "--quiet", "dump"], env=env,
                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
stamp = [l for l in run.stderr.splitlines() if l.startswith("tr640ctl: first frame written at ")]
if run.returncode != 0 or not stamp:
    sys.exit("tr640ctl --virtual dump: no first frame (%d): %s" % (run.returncode, run.stderr.strip()))
first = float(stamp[0].rsplit(" ", 1)[1])
print("process start to first frame written: %.1f ms" % ((first - start) * 1000))
PY
done

echo "== tr640-bridge on a Mosquitto on loopback: /set to ok (targets: median <= 20 ms), idle CPU of 8 units (<= 0.3 % per unit)"
"$b/tr640_bench_bridge" --changes 200 --idle-seconds "$idle_seconds" --idle-units 8 2>/dev/null
echo "== 10 tr640-bridge processes x 8 virtual units on one broker, 50 changes a second over them (target: p99 <= 100 ms)"
"$b/tr640_bench_bridge" --scale build-release/src/bridge/tr640-bridge --bridges 10 --units 8 --rate 50 --seconds 20 \
  2> >(grep -v 'QProcess: Destroyed' >&2)
