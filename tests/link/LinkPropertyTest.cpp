// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkHarness.h"

#include <random>
#include <set>

namespace tr640::testing {
namespace {

struct FaultPlan {
    const char* name;
    int dropEvery;
    int delayTicks;
    bool duplicate;
};

// For many seeded sequences of changes, with the device losing, delaying or
// doubling its replies, the device ends up holding what the windows show
// once the queue has drained.
class LinkProperty : public LinkFixture, public ::testing::WithParamInterface<FaultPlan> {};

TEST_P(LinkProperty, DeviceMemoryMatchesTheShownImageOnceIdle) {
    const FaultPlan plan = GetParam();
    for (unsigned seed = 1; seed <= 25; ++seed) {
        SCOPED_TRACE(::testing::Message() << plan.name << " seed " << seed);
        ParamStore fresh;
        store = fresh;
        device.ClearFaults();
        link.NoDevicePresent();
        Connect();
        device.SetDropEveryNth(plan.dropEvery);
        device.SetReplyDelay(plan.delayTicks);
        device.SetDuplicateReplies(plan.duplicate);

        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> index(2, 82);
        std::uniform_int_distribution<int> value(0, 65535);
        std::uniform_int_distribution<int> pause(0, 3);
        std::uniform_int_distribution<int> burst(1, 6);
        std::set<int> changed;
        for (int step = 0; step < 60; ++step) {
            const int n = burst(rng);
            const int address = MakeAddress(1, index(rng));
            for (int i = 0; i < n; ++i) link.SendParameter(address, value(rng));
            changed.insert(address);
            for (int t = pause(rng); t > 0; --t) TickHold();
        }
        for (int t = 0; t < 200 && (link.Vars().queue.count != 0 || link.Vars().repeatLast != 0); ++t) TickHold();
        for (int t = 0; t < 10; ++t) TickHold();

        ASSERT_EQ(link.Vars().linkState, kLinkedIdle);
        ASSERT_EQ(link.Vars().queue.count, 0);
        for (int address : changed) EXPECT_EQ(device.Value(address), store.Shown(address)) << std::hex << address;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, LinkProperty,
                         ::testing::Values(FaultPlan{"clean", 0, 0, false}, FaultPlan{"drops", 5, 0, false},
                                           FaultPlan{"delays", 0, 2, false}, FaultPlan{"duplicates", 0, 0, true},
                                           FaultPlan{"all", 7, 1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tr640::testing
