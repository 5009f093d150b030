// SPDX-License-Identifier: GPL-3.0-or-later
// The per-unit lock: one program at a time, and the next one learns who.

#include "link/UnitLock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace tr640 {
namespace {

TEST(UnitLockTest, ASecondTakerLearnsWhoHoldsTheUnitUntilItIsReleased) {
    QTemporaryDir dir;
    UnitLock first(dir.path().toStdString());
    UnitLock second(dir.path().toStdString());
    ASSERT_EQ(first.Take("SN/1 2", "tr640-bridge"), UnitLock::Outcome::Taken) << first.Error();
    EXPECT_EQ(first.PathOf("SN/1 2"), dir.path().toStdString() + "/tr640-SN_1_2.lock");

    ASSERT_EQ(second.Take("SN/1 2", "tr640ctl"), UnitLock::Outcome::HeldByOther);
    EXPECT_EQ(second.HeldBy().program, "tr640-bridge");
    EXPECT_EQ(second.HeldBy().pid, ::getpid());
    EXPECT_NE(second.HeldByText().find("held by tr640-bridge (process "), std::string::npos);
    EXPECT_EQ(second.Take("OTHER", "tr640ctl"), UnitLock::Outcome::Taken);

    first.Release();
    EXPECT_EQ(second.Take("SN/1 2", "tr640ctl"), UnitLock::Outcome::Taken);
    EXPECT_TRUE(second.Held());
}

TEST(UnitLockTest, AnUnwritableDirectoryIsAFailureNotAHolder) {
    UnitLock lock("/nonexistent/dir");
    EXPECT_EQ(lock.Take("SN", "tr640ctl"), UnitLock::Outcome::Failed);
    EXPECT_NE(lock.Error().find("/nonexistent/dir/tr640-SN.lock"), std::string::npos);
    EXPECT_FALSE(UnitLock::DefaultDirectory().empty());
}

}  // namespace
}  // namespace tr640
