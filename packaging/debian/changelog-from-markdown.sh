#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes CHANGELOG.md as a Debian changelog, the form that Debian tools and
# lintian read from a native package's /usr/share/doc/PACKAGE/changelog.gz.
# Each "## VERSION (YYYY-MM-DD)" section becomes one entry; each "- " item
# (continued on lines indented by two spaces) becomes one "*" line. Anything
# else inside a section is refused, so a malformed release note fails the
# build instead of vanishing from the package.
#
# Usage: changelog-from-markdown.sh PACKAGE MAINTAINER CHANGELOG.md OUTPUT
set -eu

if [ "$#" -ne 4 ]; then
  echo "usage: $0 PACKAGE MAINTAINER CHANGELOG.md OUTPUT" >&2
  exit 2
fi
package=$1
maintainer=$2
input=$3
output=$4

awk -v package="$package" -v maintainer="$maintainer" '
  function fail(why) {
    printf "%s:%d: %s\n", FILENAME, FNR, why > "/dev/stderr"
    failed = 1
    exit 1
  }
  # Debian changelogs carry RFC 2822 dates; the release day at midnight UTC.
  function rfc2822(day,    command, stamp) {
    command = "date -u -R -d " day
    if ((command | getline stamp) <= 0) fail("cannot read the date " day)
    close(command)
    return stamp
  }
  function close_entry() {
    if (version == "") return
    if (items == 0) fail("release " version " lists no change")
    printf "\n -- %s  %s\n", maintainer, rfc2822(day)
  }
  /^## / {
    if ($0 !~ /^## [0-9][0-9A-Za-z.+~]* \([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\)$/)
      fail("a release heading is \"## VERSION (YYYY-MM-DD)\"")
    close_entry()
    if (version != "") print ""
    version = $2
    day = substr($3, 2, 10)
    items = 0
    printf "%s (%s) unstable; urgency=medium\n\n", package, version
    next
  }
  version == "" { next }                  # the title and the introduction
  /^[ \t]*$/ { next }
  /^- / { items++; line = substr($0, 3); prefix = "  * " }
  /^  [^ ]/ {
    if (items == 0) fail("a continued line before the first item")
    line = substr($0, 3); prefix = "    "
  }
  !/^- / && !/^  [^ ]/ { fail("only \"- \" items and their indented continuations belong in a release") }
  {
    gsub(/`/, "", line)
    print prefix line
  }
  END {
    if (failed) exit 1
    if (version == "") fail("no release section")
    close_entry()
  }
' "$input" >"$output.tmp"
mv "$output.tmp" "$output"
