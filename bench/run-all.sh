#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints every figure the project tracks, from a Release build, so a change
# can be compared with the last release:
#   frame building and the preset round trip, the EQ evaluation, DrawEq,
#   connect time against the protocol's floor, idle CPU while linked,
#   start-up time and peak memory.
# Usage: bash bench/run-all.sh [--idle-seconds N]   (default 60)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
idle_seconds=60
if [ "${1:-}" = "--idle-seconds" ] && [ -n "${2:-}" ]; then idle_seconds=$2; fi

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
echo "== start-up to main window shown, peak memory (3 runs)"
for _ in 1 2 3; do "$b/tr640_bench_startup" 2>/dev/null; done
echo "== tr640ctl --virtual wall time (3 runs each; connection floor 1600 ms)"
ctl=build-release/src/cli/tr640ctl
preset=$(mktemp --suffix=.Nddt)
"$ctl" --virtual --quiet preset pull --force "$preset"
for cmd in "set mic1.eq3.gain=-3dB" "dump" "preset push $preset"; do
  for _ in 1 2 3; do
    start=$(date +%s%N)
    # shellcheck disable=SC2086
    "$ctl" --virtual --quiet $cmd >/dev/null
    echo "tr640ctl $cmd: $(( ($(date +%s%N) - start) / 1000000 )) ms"
  done
done
rm -f "$preset"
