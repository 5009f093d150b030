#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The documents the package installs beside the programs. The changelog made
# from CHANGELOG.md must read as a Debian changelog of the project's version;
# a release section holding anything but items must be refused, not lost;
# every manual page must have its placeholders filled and format without a
# warning from man (which lintian reports as a package fault).
#
# Usage: docs-test.sh SOURCE-DIR MAN-DIR VERSION
set -eu
source_dir=$1
man_dir=$2
version=$3
convert=$source_dir/packaging/debian/changelog-from-markdown.sh
maintainer="Test <test@example.org>"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT COMMAND...: runs COMMAND, counts a failure
  what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
refused() { ! sh "$convert" tr640 "$maintainer" "$1" "$work/out" 2>/dev/null; }
all_filled() { ! grep -n '@[A-Z_]*@' "$1"; }

sh "$convert" tr640 "$maintainer" "$source_dir/CHANGELOG.md" "$work/changelog"
check "changelog names version $version" \
  test "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$version"
check "changelog parses without warnings" \
  test -z "$(dpkg-parsechangelog -l "$work/changelog" 2>&1 >/dev/null)"

printf '# Changelog\n\n## 1.0 (2026-01-02)\n\n- An item.\nProse that would vanish.\n' >"$work/prose.md"
check "prose in a release is refused" refused "$work/prose.md"
printf '# Changelog\n\n## 1.0 released in January\n\n- An item.\n' >"$work/heading.md"
check "a heading without its date is refused" refused "$work/heading.md"

for page in "$man_dir"/*.[1-9]; do
  check "$(basename "$page") has no unfilled placeholder" all_filled "$page"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null || echo "man failed")
  check "$(basename "$page") formats without warnings" test -z "$warnings"
  [ -z "$warnings" ] || echo "$warnings"
done

[ "$failures" -eq 0 ]
