// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkHarness.h"

#include <tuple>
#include <utility>

namespace tr640::testing {
namespace {

using Write = VirtualTr640::WriteRecord;
constexpr int kGain = 0x010E;
constexpr int kFreq = 0x010D;

class ChangeQueueTest : public LinkFixture {
protected:
    void SetUp() override {
        Connect();
        device.ClearWriteLog();
    }
    // The parameter writes the device took, without keep-alives.
    std::vector<Write> ParameterWrites() const {
        std::vector<Write> out;
        for (const Write& w : device.WriteLog())
            if (w.address != proto::kAddrControl) out.push_back(w);
        return out;
    }
    int KeepAlives() const {
        int n = 0;
        for (const Write& w : device.WriteLog()) n += w == Write{proto::kAddrControl, proto::kCtlKeepAlive};
        return n;
    }
    int RunHoldUntilStopped(int maxTicks) {
        int ticks = 0;
        while (holdTimer.active && ticks < maxTicks) {
            TickHold();
            ++ticks;
        }
        return ticks;
    }
};

TEST_F(ChangeQueueTest, ChangeWhileIdleAndAcknowledgedGoesOutAtOnce) {
    link.SendParameter(kGain, 160);
    EXPECT_EQ(store.Shown(kGain), 160);
    EXPECT_EQ(store.Device(kGain), 160);
    EXPECT_EQ(ParameterWrites(), (std::vector<Write>{{kGain, 160}}));
    EXPECT_EQ(link.Vars().ready, 0);
    Pump();
    EXPECT_EQ(link.Vars().ready, 1);
    EXPECT_EQ(device.Value(kGain), 160);
}

TEST_F(ChangeQueueTest, ChangesWhileUnacknowledgedWaitAndOnlyTheNewestEntryMerges) {
    link.SendParameter(kGain, 151);  // in flight
    link.SendParameter(kGain, 152);
    link.SendParameter(kGain, 153);
    EXPECT_EQ(link.Vars().queue.count, 1);
    EXPECT_EQ(link.Vars().queue.values[1], 153);

    link.SendParameter(kFreq, 900);
    link.SendParameter(kGain, 154);
    EXPECT_EQ(link.Vars().queue.count, 3);  // A, B, A: only the newest entry merges
}

TEST_F(ChangeQueueTest, LastChangeOfABurstGoesOutTwiceThenOnlyKeepAlives) {
    link.SendParameter(kGain, 151);
    link.SendParameter(kGain, 152);
    link.SendParameter(kFreq, 1200);
    for (int i = 0; i < 12; ++i) TickHold();
    EXPECT_EQ(ParameterWrites(), (std::vector<Write>{{kGain, 151}, {kGain, 152}, {kFreq, 1200}, {kFreq, 1200}}));
    EXPECT_GT(KeepAlives(), 0);
    EXPECT_EQ(device.Value(kFreq), 1200);
}

TEST_F(ChangeQueueTest, KeepAliveGoesOutEverySecondTick) {
    for (int i = 0; i < 20; ++i) TickHold();
    EXPECT_EQ(KeepAlives(), 10);
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
}

TEST_F(ChangeQueueTest, SilentDeviceIsDeclaredLostAfterElevenKeepAlivePeriods) {
    device.SetSilent(true);
    const int ticks = RunHoldUntilStopped(100);
    EXPECT_FALSE(holdTimer.active);
    EXPECT_GE(ticks, 22);
    EXPECT_LE(ticks, 24);  // about 880 ms of 40 ms ticks
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    EXPECT_EQ(view.Boxes(), (std::vector<LinkOutcome>{LinkOutcome::ConnectionLost}));
    EXPECT_EQ(view.label, LinkStatus::NotLinked);
    // Unanswered keep-alives are repeated every third period.
}

TEST_F(ChangeQueueTest, SuppressedOrUnlinkedChangesAreStoredButNotSent) {
    link.SuppressSends(true);
    link.SendParameter(kGain, 170);
    link.SuppressSends(false);
    link.NoDevicePresent();
    link.SendParameter(kFreq, 777);
    EXPECT_TRUE(ParameterWrites().empty());
    EXPECT_EQ(store.Shown(kGain), 170);
    EXPECT_EQ(store.Device(kFreq), 777);
}

TEST_F(ChangeQueueTest, WithoutAcknowledgementTheQueueIsForcedOnEveryFifthTick) {
    device.SetSilent(true);
    link.SendParameter(kGain, 151);
    link.SendParameter(kFreq, 1000);
    for (int i = 0; i < 5; ++i) TickHold();  // tick 5 forces Ready ...
    EXPECT_EQ(link.Vars().queue.count, 1);
    TickHold();  // ... and tick 6 sends without an acknowledgement
    EXPECT_EQ(link.Vars().queue.count, 0);
    EXPECT_EQ(device.Stats().framesIgnored, 2u);
}

TEST_F(ChangeQueueTest, FullQueueNeverDropsAnotherParametersWaitingChange) {
    link.SendParameter(0x0103, 1);  // in flight, never acknowledged here
    for (int i = 0; i < PendingQueue::kMaxWaiting; ++i) link.SendParameter(0x0200 + i, i);  // 96 distinct waiting
    const PendingQueue& q = link.Vars().queue;
    ASSERT_EQ(q.count, 96);

    link.SendParameter(0x0200 + 5, 5000);  // already waiting at entry 6: updated in place
    EXPECT_EQ(q.values[6], 5000);
    EXPECT_EQ(q.addresses[96], 0x0200 + 95);
    EXPECT_EQ(q.values[96], 95);

    link.SendParameter(0x0110, 42);  // new address: takes the newest entry
    EXPECT_EQ(q.count, 96);
    EXPECT_EQ(q.addresses[96], 0x0110);
    EXPECT_EQ(q.values[96], 42);
}

TEST_F(ChangeQueueTest, FullQueueUpdatesTheNewestWaitingEntryOfAnAddress) {
    link.SendParameter(0x01F0, 1);  // in flight
    for (int i = 0; i < PendingQueue::kMaxWaiting - 1; ++i) link.SendParameter(0x0100 + i, i);
    link.SendParameter(0x0107, 700);  // waits twice now: entries 8 and 96
    const PendingQueue& q = link.Vars().queue;
    ASSERT_EQ(q.count, 96);

    link.SendParameter(0x0107, 701);
    EXPECT_EQ(q.values[8], 7);
    EXPECT_EQ(q.values[96], 701);

    // Drained, the device ends with the newest value, not an older one.
    for (int i = 0; i < 120; ++i) TickHold();
    EXPECT_EQ(link.Vars().queue.count, 0);
    EXPECT_EQ(device.Value(0x0107), 701);
}

TEST_F(ChangeQueueTest, FullQueueMakesRoomByDroppingSupersededValuesNotChanges) {
    link.SendParameter(0x01F0, 1);  // in flight, unanswered
    // A drag back and forth over 47 parameters, a mode save and one more
    // change fill the queue: each dragged parameter waits twice.
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 47; ++i) link.SendParameter(0x0100 + i, 100 * round + i);
    link.SendParameter(kAddrModeSave, 2);
    link.SendParameter(0x0160, 9);
    const PendingQueue& q = link.Vars().queue;
    ASSERT_EQ(q.count, 96);

    link.SendParameter(0x0150, 77);  // a new parameter: room is made, nothing newest is lost
    EXPECT_EQ(q.count, 47 + 1 + 1 + 1);
    EXPECT_EQ(q.addresses[1], 0x0100);
    EXPECT_EQ(q.values[1], 100);
    EXPECT_EQ(q.addresses[48], kAddrModeSave);
    EXPECT_EQ(q.addresses[49], 0x0160);
    EXPECT_EQ(q.addresses[50], 0x0150);

    for (int i = 0; i < 400 && q.count > 0; ++i) TickHold();
    for (int i = 0; i < 47; ++i) EXPECT_EQ(device.Value(0x0100 + i), 100 + i) << i;
    EXPECT_EQ(device.Value(0x0160), 9);
    EXPECT_EQ(device.Value(0x0150), 77);
}

TEST_F(ChangeQueueTest, ATransferDropsThePendingRepeatOfTheLastChange) {
    link.SendParameter(kGain, 161);  // out at once
    link.SendParameter(kGain, 162);  // waits, then goes out as the last of the burst
    Pump();
    TickHold();
    ASSERT_EQ(link.Vars().repeatLast, 1);
    ASSERT_EQ(device.Value(kGain), 162);

    // A preset's value is written by a write-all before the repeat goes out.
    store.SetDevice(kGain, 170);
    link.WriteAll();
    RunTransfer();
    ASSERT_EQ(link.Vars().linkState, kLinkedIdle);
    for (int n = 0; n < 10; ++n) TickHold();
    EXPECT_EQ(device.Value(kGain), 170) << "an old value went out over the transfer";
    std::vector<std::uint16_t> gains;
    for (const Write& w : ParameterWrites())
        if (w.address == kGain) gains.push_back(w.value);
    EXPECT_EQ(gains, (std::vector<std::uint16_t>{161, 162, 170}));
}

TEST_F(ChangeQueueTest, TheWatchSeesEveryChangeWithItsFateAndEveryTransferBegun) {
    std::vector<std::tuple<int, std::int32_t, bool>> changes;
    std::vector<std::pair<int, int>> transfers;
    link.Watch({[&](int a, std::int32_t v, bool out) { changes.emplace_back(a, v, out); },
                [&](int direction, int page) { transfers.emplace_back(direction, page); }});
    link.SendParameter(kGain, 161);  // goes out at once
    link.SendParameter(kGain, 162);  // queued behind it: still meant to go out
    for (int n = 0; n < 10 && link.Vars().queue.count > 0; ++n) TickHold();
    TickHold();
    link.SendParameter(kAddrModeRecall, 1);
    link.SendParameter(kFreq, 800);  // during the mode wait: waits behind the recall
    EXPECT_EQ(changes, (std::vector<std::tuple<int, std::int32_t, bool>>{
                           {kGain, 161, true}, {kGain, 162, true}, {kAddrModeRecall, 1, true}, {kFreq, 800, true}}));
    for (int n = 0; n < 20 && !transferTimer.active; ++n) TickHold();
    link.ReadAll();
    RunTransfer();
    link.WriteAll();
    EXPECT_EQ(transfers, (std::vector<std::pair<int, int>>{{0, 1}, {0, 0}, {1, 1}}));
}

TEST_F(ChangeQueueTest, ModeRecallWaitsForTheAcknowledgementThenReloadsPageOne) {
    link.SendParameter(kAddrModeRecall, 2);
    EXPECT_EQ(view.label, LinkStatus::RecallWaiting);
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    EXPECT_EQ(link.Vars().waitReason, kEventReloadModeParams);
    EXPECT_TRUE(view.statusShown);

    TickHold();  // acknowledged: the reload starts
    EXPECT_TRUE(transferTimer.active);
    EXPECT_EQ(view.label, LinkStatus::Reloading);
    RunTransfer();
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
    for (int index = 0; index < kPageCount[1]; ++index)
        EXPECT_EQ(store.Shown(1, index), device.UserMode(3)[index]) << index;
}

TEST_F(ChangeQueueTest, ModeSaveEndsInSaveDone) {
    link.SendParameter(kAddrModeSave, 1);
    EXPECT_EQ(view.label, LinkStatus::SaveWaiting);
    TickHold();
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
    EXPECT_EQ(view.Boxes(), (std::vector<LinkOutcome>{LinkOutcome::ModeSaved}));
    EXPECT_FALSE(view.statusShown);
    for (int index = 0; index < kPageCount[1]; ++index) EXPECT_EQ(device.UserMode(2)[index], device.Value(1, index));
}

TEST_F(ChangeQueueTest, QueuedModeRecallKeepsItsMeaningWhenItFinallyGoesOut) {
    link.SendParameter(kGain, 155);  // in flight
    link.SendParameter(kAddrModeRecall, 3);  // must wait
    EXPECT_EQ(link.Vars().waitReason, 0);
    EXPECT_EQ(link.Vars().queue.count, 1);

    TickHold();  // acknowledged: the recall goes out and is waited for
    EXPECT_EQ(link.Vars().waitReason, kEventReloadModeParams);
    EXPECT_EQ(view.label, LinkStatus::RecallWaiting);
    TickHold();
    RunTransfer();
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
    for (int index = 0; index < kPageCount[1]; ++index)
        EXPECT_EQ(store.Shown(1, index), device.UserMode(4)[index]) << index;
    // The recall went out once: a repeat would recall the mode a second time.
    int recalls = 0;
    for (const Write& w : device.WriteLog()) recalls += w.address == kAddrModeRecall;
    EXPECT_EQ(recalls, 1);
}

TEST_F(ChangeQueueTest, QueuedModeSaveEndsInSaveDone) {
    link.SendParameter(kGain, 155);
    link.SendParameter(kAddrModeSave, 0);
    TickHold();
    EXPECT_EQ(link.Vars().waitReason, kEventSaveDone);
    TickHold();
    EXPECT_EQ(view.Boxes(), (std::vector<LinkOutcome>{LinkOutcome::ModeSaved}));
    EXPECT_EQ(device.UserMode(1)[kGain & 0xFF], 155);
}

TEST_F(ChangeQueueTest, UnacknowledgedModeCommandIsWaitedForInTwoSecondPeriods) {
    device.SetSilent(true);
    link.SendParameter(kAddrModeSave, 0);
    int ticks = 0;
    while (holdTimer.active && ticks < 5000) {
        link.HoldTimerTimer();
        ++ticks;
    }
    EXPECT_EQ(ticks, 51 * 50);  // about 102 s
    EXPECT_EQ(view.Boxes(), (std::vector<LinkOutcome>{LinkOutcome::ConnectionLost}));
}

}  // namespace
}  // namespace tr640::testing
