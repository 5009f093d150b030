#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Instructions of one keep-alive cycle of tr640-demo linked and idle
# (offscreen): the hold timer's ticks, the keep-alive written, the virtual
# unit's answer, the reader, and the event loop around them, all threads.
# callgrind counts every instruction over the period, after the demo has
# linked; the count is divided by the keep-alives sent meanwhile. Unlike
# CPU time it does not depend on what else the machine is doing, so two
# builds can be compared on a busy machine.
# Usage: bash bench/idle-cycle.sh [--seconds N] [--build DIR] [--keep FILE]
#   (default 20 s, build-release; needs valgrind; --keep keeps callgrind's
#   profile for callgrind_annotate)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=20
build=build-release
keep=
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N] [--build DIR] [--keep FILE]" >&2; exit 2 ;;
  esac
done
if ! command -v valgrind >/dev/null || ! command -v callgrind_control >/dev/null; then
  echo "needs valgrind (apt-get install valgrind)" >&2
  exit 2
fi
# Uninstrumented, the demo links under valgrind within a few seconds; the
# rest leaves time for the caret to come to rest, as in bench/wakeups.sh.
settle=20

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --instr-atstart=no \
  --callgrind-out-file="$work/profile.%p" "$build/src/ui/tr640-demo" >"$work/demo.log" 2>&1 &
pid=$!
sleep "$settle"
callgrind_control -i on "$pid" >/dev/null 2>&1
# The code first met once instrumented is not counted in the period.
sleep 2
callgrind_control -z "$pid" >/dev/null 2>&1
sleep "$seconds"
callgrind_control -d "$pid" >/dev/null 2>&1
sleep 1
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

profile=$(ls "$work"/profile.*.1 2>/dev/null | head -n 1)
if [ -z "$profile" ]; then
  echo "no profile was dumped (see the demo's output: $(tail -n 3 "$work/demo.log"))" >&2
  exit 1
fi
[ -n "$keep" ] && cp "$profile" "$keep"
python3 - "$profile" "$seconds" <<'EOF'
import re, sys

path, seconds = sys.argv[1], float(sys.argv[2])
names = {}
keepAlives = 0
total = 0
callee = None
# Functions are named once, as "(id) name", and by "(id)" after that.
for line in open(path, encoding="utf-8", errors="replace"):
    if line.startswith("summary:"):
        total = int(line.split()[1])
    m = re.match(r"c?fn=\((\d+)\)(?: (.*))?", line)
    if m:
        if m.group(2):
            names[m.group(1)] = m.group(2).strip()
        callee = names.get(m.group(1)) if line.startswith("cfn=") else None
    elif line.startswith("calls=") and callee == "tr640::Link::SendKeepAlive()":
        keepAlives += int(line.split("=")[1].split()[0])
        callee = None
if keepAlives == 0:
    sys.exit("no call of Link::SendKeepAlive was counted: the demo did not link (or the build inlines it)")
print(f"linked and idle: {keepAlives} keep-alives in {seconds:.0f} s, "
      f"{total / keepAlives:,.0f} instructions a cycle ({total / seconds:,.0f} a second)")
EOF
