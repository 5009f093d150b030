// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkHarness.h"

namespace tr640::testing {
namespace {

TEST_F(LinkFixture, DevicePresentSendsTheKeyAndRepeatsItEverySecondUntilTheDeviceAnswers) {
    device.SetSilent(true);
    link.DevicePresent();
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    EXPECT_EQ(view.colour, LinkColour::Green);
    EXPECT_TRUE(connectTimer.active);
    EXPECT_EQ(keyFrames(), 1);

    TickConnect();
    TickConnect();
    EXPECT_EQ(keyFrames(), 3);
    EXPECT_FALSE(transferTimer.active);

    device.SetSilent(false);
    TickConnect();  // the device takes this KeyFrame
    EXPECT_EQ(link.Vars().deviceAnswered, 1);
    EXPECT_EQ(keyFrames(), 4);
    TickConnect();  // next second: the connect read starts
    EXPECT_FALSE(connectTimer.active);
    EXPECT_TRUE(transferTimer.active);
    EXPECT_EQ(view.label, LinkStatus::Reading);
    EXPECT_TRUE(view.statusShown);
}

TEST_F(LinkFixture, ConnectReadFetchesElevenBlocksInOrderAndGoesIdle) {
    link.DevicePresent();
    TickConnect();
    const int ticks = RunTransfer();
    EXPECT_EQ(ticks, 12);  // eleven blocks and the end code, one tick each

    EXPECT_EQ(ReadRequests(), (std::vector<std::uint16_t>{0x0000, 0x000A, 0x0100, 0x010A, 0x0114, 0x011E, 0x0128,
                                                          0x0132, 0x013C, 0x0146, 0x0150}));
    const auto& log = device.WriteLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), (VirtualTr640::WriteRecord{proto::kAddrControl, proto::kCtlReadDone}));

    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
    EXPECT_TRUE(holdTimer.active);
    EXPECT_FALSE(transferTimer.active);
    EXPECT_EQ(view.refreshes, 1);
    EXPECT_EQ(view.firstBandSelections, 1);
    EXPECT_EQ(view.label, LinkStatus::Linked);
    EXPECT_EQ(view.outcomes, (std::vector<LinkOutcome>{LinkOutcome::Connected}));
    EXPECT_EQ(view.colour, LinkColour::LightGreen);
    EXPECT_FALSE(view.statusShown);
    EXPECT_EQ(view.hiddenPercent, 200);

    for (int page = 0; page <= kLastPage; ++page)
        for (int index = 0; index < kPageCount[page]; ++index)
            EXPECT_EQ(store.Device(page, index), device.Value(page, index)) << page << ":" << index;
}

TEST_F(LinkFixture, StatusWindowShowsPageProgressZeroThenHundredThenTwoHundred) {
    link.DevicePresent();
    TickConnect();
    RunTransfer();
    const auto& p = view.statusPercents;
    ASSERT_GE(p.size(), 12u);
    EXPECT_EQ(p.front(), 0);
    EXPECT_EQ(std::count(p.begin(), p.end(), 0), 3);    // the event, then two ticks on page 0
    EXPECT_EQ(std::count(p.begin(), p.end(), 200), 1);  // the tick that sees the end code's answer
    EXPECT_EQ(view.statusLabels.front(), LinkStatus::Reading);
}

TEST_F(LinkFixture, NoDevicePresentDropsTheLinkSilently) {
    Connect();
    link.NoDevicePresent();
    EXPECT_EQ(link.Vars().linkState, kNotLinked);
    EXPECT_EQ(view.colour, LinkColour::Grey);
    EXPECT_EQ(view.label, LinkStatus::Linked);  // the text stays, only the colour changes
    EXPECT_FALSE(connectTimer.active || transferTimer.active || holdTimer.active);
    EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(LinkFixture, LinkButtonWhileNotLinkedRunsTheTimerButSendsNothing) {
    link.StartConnection();
    EXPECT_TRUE(connectTimer.active);
    link.Timer1Timer();
    EXPECT_TRUE(transport.Written().empty());
    // With no unit the timer has no work: it sleeps until one arrives.
    EXPECT_FALSE(connectTimer.active);
    link.DevicePresent();
    EXPECT_TRUE(connectTimer.active);
    EXPECT_EQ(keyFrames(), 1);
}

TEST_F(LinkFixture, ReconnectWhileLinkedRestartsFromTheKeyAndReadsEverythingAgain) {
    Connect();
    transport.ClearWritten();
    link.DevicePresent();  // a rebuild of the device list found it again
    EXPECT_FALSE(holdTimer.active);
    EXPECT_EQ(keyFrames(), 1);
    TickConnect();
    RunTransfer();
    EXPECT_EQ(ReadRequests().size(), 11u);
    EXPECT_EQ(view.refreshes, 2);
}

TEST_F(LinkFixture, StalledTransferEndsWithConnectFailedAndKeepsWhatArrived) {
    link.DevicePresent();
    TickConnect();  // the first block is requested and answered
    device.SetSilent(true);
    RunTransfer();
    EXPECT_FALSE(transferTimer.active);
    ASSERT_EQ(view.Boxes().size(), 1u);
    EXPECT_EQ(view.Boxes()[0], LinkOutcome::ConnectFailed);
    EXPECT_EQ(view.label, LinkStatus::NotLinked);
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    EXPECT_EQ(view.refreshes, 0);
    EXPECT_EQ(store.Device(0, 8), device.Value(0, 8));  // the first block stays in the device image
    // Page 0 requests are repeated once after eleven silent ticks.
    EXPECT_EQ(ReadRequests(), (std::vector<std::uint16_t>{0x0000, 0x000A, 0x000A}));
}

TEST_F(LinkFixture, FirstRequestLostStillTimesOutInsteadOfHanging) {
    link.DevicePresent();
    Pump();
    device.SetSilent(true);
    link.Timer1Timer();  // the connect read starts; its first request is never answered
    RunTransfer();
    EXPECT_FALSE(transferTimer.active);
    ASSERT_EQ(view.Boxes().size(), 1u);
    EXPECT_EQ(view.Boxes()[0], LinkOutcome::ConnectFailed);
}

TEST_F(LinkFixture, LostReplyOnPageZeroIsMadeGoodByTheRepeat) {
    link.DevicePresent();
    Pump();
    device.SetSilent(true);
    link.Timer1Timer();  // the first read request goes unanswered
    device.SetSilent(false);
    RunTransfer();
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
    EXPECT_EQ(store.Device(0, 14), device.Value(0, 14));
}

// A read reply of `value` for the ten values from (page, first).
std::vector<std::uint8_t> ReadReply(int page, int first, std::uint16_t value) {
    std::vector<std::uint8_t> r(65, 0);
    const std::uint8_t head[] = {0x01, 0x50, 26, 0xA0, 0x00, 0x39, std::uint8_t(page), std::uint8_t(first)};
    std::copy(std::begin(head), std::end(head), r.begin());
    for (int j = 0; j < 10; ++j) {
        r[8 + 2 * j] = std::uint8_t(value >> 8);
        r[9 + 2 * j] = std::uint8_t(value);
    }
    return r;
}

TEST_F(LinkFixture, OnlyReadRepliesTheRunningTransferAskedForReachTheDeviceImage) {
    Connect();
    const ParamStore before = store;
    link.OnReply(ReadReply(1, 0, 77));  // late or repeated: the read is over
    EXPECT_EQ(store.Device(1, 0), before.Device(1, 0));

    link.ReloadPageOne();  // asks for 0x0100 first
    link.OnReply(ReadReply(1, 50, 77));          // not asked for (yet)
    EXPECT_EQ(store.Device(1, 50), before.Device(1, 50));
    RunTransfer();
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
    for (int index = 0; index < kPageCount[1]; ++index) EXPECT_EQ(store.Device(1, index), device.Value(1, index));
}

TEST_F(LinkFixture, WriteAllSendsPageOneBlocksWithZerosAboveIndexEightyFour) {
    Connect();
    for (int index = 0; index < ParamStore::kDeviceWidth; ++index) store.SetDevice(1, index, 500 + index);
    device.ClearWriteLog();
    view.refreshes = 0;

    link.WriteAll();
    EXPECT_EQ(view.label, LinkStatus::Writing);
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    RunTransfer();

    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
    EXPECT_EQ(view.refreshes, 1);
    for (int index = 0; index <= 84; ++index) EXPECT_EQ(device.Value(1, index), 500 + index) << index;
    for (int index = 85; index < 90; ++index) EXPECT_EQ(device.Value(1, index), 0) << index;
    EXPECT_EQ(device.WriteLog().back(), (VirtualTr640::WriteRecord{proto::kAddrControl, proto::kCtlWriteDone}));
    EXPECT_EQ(device.WriteLog().size(), 91u);  // nine blocks of ten and the end code
}

TEST_F(LinkFixture, WriteAllWhileNotIdleDoesNothing) {
    link.WriteAll();
    EXPECT_FALSE(transferTimer.active);
    EXPECT_TRUE(transport.Written().empty());
}

TEST_F(LinkFixture, UnknownStatusKindChangesNothing) {
    Connect();
    const LinkVars before = link.Vars();
    link.ShowLinkStatus(5, 50);
    EXPECT_EQ(link.Vars().linkState, before.linkState);
    EXPECT_TRUE(holdTimer.active);
}

}  // namespace
}  // namespace tr640::testing
