// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/DeviceSession.h"
#include "virtualdevice/VirtualHidBus.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>

namespace tr640::testing {

// tr640ctl's session ticked by the test instead of by its timers, so that a
// command's waits and time-outs pass in ticks, not seconds. The bus's reader
// threads hand the replies over asynchronously: each tick waits until every
// reply the virtual units sent has reached the session (or its unit is
// gone). Made afresh for each command.
inline HandTicks TickOnceRepliesAreIn(VirtualHidBus& bus) {
    const int readBefore = bus.ReportsRead();
    return [&bus, readBefore](const UnitSession& session) {
        const auto repliesIn = [&] {
            const std::vector<HidDeviceInfo> present = bus.Enumerate();
            const bool unitGone = std::none_of(present.begin(), present.end(),
                                               [&](const HidDeviceInfo& d) { return d.path == session.UnitPath(); });
            return unitGone ||
                   (bus.ReportsWaiting() == 0 && session.RepliesTaken() == bus.ReportsRead() - readBefore);
        };
        ASSERT_TRUE(QTest::qWaitFor(repliesIn))
            << session.RepliesTaken() << " replies taken of " << bus.ReportsRead() - readBefore;
    };
}

}  // namespace tr640::testing
