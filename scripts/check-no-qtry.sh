#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Refuses Qt Test's QTRY_ macros in the tests, and its QVERIFY, QCOMPARE
# and QFAIL with them. Every test is a GoogleTest test, and a failing Qt Test
# check reports to Qt Test and returns from the test body: GoogleTest counts
# the test as passed and the checks after it never run. Wait with
# ASSERT_TRUE(QTest::qWaitFor(...)) or drive the tick instead.
#   scripts/check-no-qtry.sh [tests-directory]
set -euo pipefail

tests=${1:-$(cd "$(dirname "$0")/.." && pwd)/tests}
if found=$(grep -rnIE 'QTRY_|QVERIFY|QCOMPARE|QFAIL' "$tests"); then
    echo "Qt Test checks in the tests (use GoogleTest's, ASSERT_TRUE(QTest::qWaitFor(...)) or drive the tick):"
    echo "$found"
    exit 1
fi
echo "no Qt Test checks in $tests"
