#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Refuses Qt Test's QTRY_ macros in the tests. Every test is a GoogleTest
# test, and a failing QTRY_ reports to Qt Test and returns from the test
# body: GoogleTest counts the test as passed and the checks after it never
# run. Wait with ASSERT_TRUE(QTest::qWaitFor(...)) or drive the tick instead.
#   scripts/check-no-qtry.sh [tests-directory]
set -euo pipefail

tests=${1:-$(cd "$(dirname "$0")/.." && pwd)/tests}
if found=$(grep -rnI 'QTRY_' "$tests"); then
    echo "QTRY_ in the tests (use ASSERT_TRUE(QTest::qWaitFor(...)) or drive the tick):"
    echo "$found"
    exit 1
fi
echo "no QTRY_ in $tests"
