#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Resident memory of tr640-demo left linked and idle (offscreen): VmRSS
# sampled once a minute for the given number of minutes, then the growth
# from minute 5 to the end, after the start-up allocations have settled.
# Usage: bash bench/idle-memory.sh MINUTES [--build DIR]   (the programs
#   must have been built; build-release by default)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
minutes=${1:?usage: $0 MINUTES [--build DIR]}
build=build-release
if [ "${2:-}" = "--build" ] && [ -n "${3:-}" ]; then build=$3; fi

QT_QPA_PLATFORM=offscreen "$build/src/ui/tr640-demo" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

rss_kb() { awk '/^VmRSS/ { print $2 }' /proc/"$pid"/status; }
declare -a samples
for minute in $(seq 0 "$minutes"); do
  [ "$minute" -gt 0 ] && sleep 60
  samples[minute]=$(rss_kb)
  printf 'minute %3d: %8d kB\n' "$minute" "${samples[minute]}"
done
if [ "$minutes" -ge 5 ]; then
  awk -v a="${samples[5]}" -v b="${samples[minutes]}" -v m="$minutes" \
    'BEGIN { printf "growth from minute 5 to %d: %+.2f MB\n", m, (b - a) / 1024 }'
fi
