// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/HidTestSupport.h"

#include "link/FrameSender.h"
#include "link/Link.h"
#include "link/LinkHarness.h"
#include "link/UnitSession.h"
#include "model/ParamStore.h"

#include <QTimer>

namespace tr640::testing {
namespace {

// The whole link over the virtual bus: the real controller and reader
// thread, the handlers, the frame sender and the link, as the link window
// wires them. The link's timers are driven by hand.
class HidLinkFixture : public HidBusFixture {
protected:
    HidLinkFixture() {
        view.store = &store;
        port.onDevicePresent = [this] { link.DevicePresent(); };
        port.onNoDevicePresent = [this] { link.NoDevicePresent(); };
        port.onReply = [this](std::span<const std::uint8_t> r) { link.OnReply(r); };
    }

    // Waits for every reply the device has sent to reach the link.
    void Sync() { ASSERT_TRUE(SyncReplies(device)); }

    void Connect() {
        ASSERT_TRUE(WaitFor([&] { return link.Vars().deviceAnswered == 1; }));
        ASSERT_TRUE(connectTimer.active);
        link.Timer1Timer();
        ASSERT_TRUE(transferTimer.active);
        RunTransfer();
        ASSERT_EQ(link.Vars().linkState, kLinkedIdle);
    }
    int RunTransfer(int maxTicks = 200) {
        int ticks = 0;
        while (transferTimer.active && ticks++ < maxTicks) {
            link.Timer2Timer();
            Sync();
        }
        return ticks;
    }
    int ReadLinesAfter(const std::string& line) const {
        const auto at = std::find(port.log.begin(), port.log.end(), line);
        int n = 0;
        for (auto it = at; it != port.log.end(); ++it) n += it->rfind("R ", 0) == 0;
        return n;
    }

    ParamStore store;
    RecordingView view;
    FakeTimer connectTimer, transferTimer, holdTimer;
    FrameSender sender{handlers};
    Link link{store, sender, view, {connectTimer, transferTimer, holdTimer}};
};

TEST_F(HidLinkFixture, ConnectionCompletesThroughTheReaderThread) {
    PlugTr640(device);
    Settle();
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    EXPECT_EQ(port.reportIds, (std::vector<std::string>{"02"})) << "the KeyFrame went out";
    Connect();
    EXPECT_TRUE(holdTimer.active);
    for (int page = 0; page <= kLastPage; ++page)
        for (int index = 0; index < kPageCount[page]; ++index)
            EXPECT_EQ(store.Device(page, index), device.Value(page, index)) << page << ":" << index;
    // Every reply was logged as it came in.
    EXPECT_EQ(static_cast<std::size_t>(port.CountLogStartingWith("R 01  50 ")), device.Stats().repliesSent);
    EXPECT_EQ(port.CountLogStartingWith("READ ERROR"), 0);
    EXPECT_EQ(port.CountLogStartingWith("WRITE ERROR"), 0);

    // Keep-alive in the idle link goes through the same path.
    const std::size_t before = device.Stats().framesReceived;
    for (int i = 0; i < 4; ++i) {
        link.HoldTimerTimer();
        Sync();
    }
    EXPECT_GT(device.Stats().framesReceived, before);
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
}

TEST_F(HidLinkFixture, UnplugAndPlugAgainWhileLinked) {
    const std::string path = PlugTr640(device);
    Settle();
    Connect();

    bus.Unplug(path);
    Settle();
    EXPECT_EQ(port.log.back(), "Removal of TR640Device VID=0483 PID=6912");
    EXPECT_EQ(port.presence, (std::vector<std::string>{"DevicePresent", "NoDevicePresent"}));
    EXPECT_EQ(link.Vars().linkState, kNotLinked);
    EXPECT_FALSE(holdTimer.active);
    EXPECT_EQ(ctl.ReadersRunning(), 0);
    EXPECT_EQ(port.CountLogStartingWith("READ ERROR"), 0);
    EXPECT_TRUE(view.Boxes().empty()) << "leaving without a device shows nothing";

    const std::size_t logged = port.log.size();
    PlugTr640(device);
    Settle();
    ASSERT_GT(port.log.size(), logged + 1);
    EXPECT_EQ(port.log[logged], "Arrival of TR640Device VID=0483 PID=6912");
    EXPECT_EQ(port.log[logged + 1].substr(0, 6), "W 02  ") << "the new connection starts with the KeyFrame";
    EXPECT_EQ(port.presence.back(), "DevicePresent");
    Connect();
    EXPECT_EQ(device.Stats().framesRejected, 0u);
}

TEST_F(HidLinkFixture, AKeyboardPluggedInWhileLinkedRestartsTheConnectionAndNeverFeedsIt) {
    PlugTr640(device);
    Settle();
    Connect();
    EXPECT_EQ(view.refreshes, 1);

    device.SetSilent(true);  // so only the keyboard could answer the new KeyFrame
    const std::string kb = PlugKeyboard();
    Settle();
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    EXPECT_EQ(link.Vars().deviceAnswered, 0);

    std::vector<std::uint8_t> forged{0x01, 0x50, 0x06, 0xA0, 0x00, 0xFF, 0x00, 0x02, 0x00};
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < forged.size(); ++i) sum += forged[i];
    forged.back() = static_cast<std::uint8_t>(0u - sum);
    const std::size_t replies = port.replies.size();
    for (int i = 0; i < 5; ++i) keyboard->Press(forged);
    Settle();
    link.Timer1Timer();
    Settle();
    EXPECT_EQ(link.Vars().deviceAnswered, 0) << "a keystroke must not pass for a reply";
    EXPECT_EQ(port.replies.size(), replies);
    EXPECT_EQ(bus.ReadCalls(kb), 0);

    device.SetSilent(false);
    link.Timer1Timer();  // the KeyFrame again, now answered
    Connect();
    EXPECT_EQ(view.refreshes, 2) << "a second full read";
}

TEST_F(HidLinkFixture, ADeviceThatAnswersNothingGetsTheKeyFrameEverySecondAndNoMore) {
    device.SetSilent(true);
    PlugTr640(device);
    Settle();
    for (int i = 0; i < 3; ++i) {
        link.Timer1Timer();
        Settle();
    }
    EXPECT_EQ(port.CountLogStartingWith("W 02  "), 4);
    EXPECT_EQ(port.CountLogStartingWith("R "), 0);
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    EXPECT_FALSE(transferTimer.active);
    EXPECT_EQ(device.Stats().framesIgnored, 4u);
}

TEST_F(HidLinkFixture, UnplugInTheMiddleOfATransfer) {
    const std::string path = PlugTr640(device);
    Settle();
    ASSERT_TRUE(WaitFor([&] { return link.Vars().deviceAnswered == 1; }));
    link.Timer1Timer();
    for (int i = 0; i < 4; ++i) {
        link.Timer2Timer();
        Sync();
    }
    ASSERT_TRUE(transferTimer.active);
    // One more request goes out; its reply is on its way when the cable goes.
    link.Timer2Timer();
    bus.Unplug(path);
    Settle();

    EXPECT_EQ(port.log.back(), "Removal of TR640Device VID=0483 PID=6912");
    EXPECT_EQ(ReadLinesAfter("Removal of TR640Device VID=0483 PID=6912"), 0);
    EXPECT_EQ(port.presence, (std::vector<std::string>{"DevicePresent", "NoDevicePresent"}));
    EXPECT_EQ(link.Vars().linkState, kNotLinked);
    EXPECT_FALSE(transferTimer.active);
    EXPECT_FALSE(connectTimer.active);
    EXPECT_EQ(ctl.ReadersRunning(), 0);
    EXPECT_EQ(bus.OpenConnections(path), 0);

    // Ticks that were already due do nothing harmful.
    link.Timer2Timer();
    link.HoldTimerTimer();
    Settle();
    EXPECT_EQ(port.log.back(), "Removal of TR640Device VID=0483 PID=6912");
}

TEST_F(HidLinkFixture, UnplugWhileTheReaderIsBlockedInARead) {
    bus.SetReadableDescriptors(false);  // a reader thread, as where nodes do not poll
    const std::string path = PlugTr640(device);
    Settle();
    Connect();
    ASSERT_TRUE(WaitFor([&] { return bus.BlockedReads(path) == 1; }));
    const std::size_t logged = port.log.size();

    bus.Unplug(path);
    Settle();
    EXPECT_EQ(port.log.size(), logged + 1);
    EXPECT_EQ(port.log.back(), "Removal of TR640Device VID=0483 PID=6912");
    EXPECT_EQ(port.presence.back(), "NoDevicePresent");
    EXPECT_EQ(ctl.ReadersRunning(), 0);
    EXPECT_EQ(bus.BlockedReads(path), 0);
    EXPECT_EQ(link.Vars().linkState, kNotLinked);
}

// --- The session, with the real timers ------------------------------------------

// The session's traffic log, for the error lines.
class RecordingLines final : public SessionLines {
public:
    void AddLogLine(const std::string& line) override { log.push_back(line); }
    bool AmendLastLogLine(const std::string&, const std::string&) override { return false; }
    int CountLogStartingWith(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : log) n += l.rfind(prefix, 0) == 0;
        return n;
    }
    std::vector<std::string> log;
};

TEST(HidSessionTest, EndToEndWithRealTimersAParameterChangeReachesTheDevice) {
    VirtualTr640 device;  // outlives the bus, whose endpoint holds on to it
    VirtualHidBus bus;
    ParamStore store;
    RecordingLines lines;
    UnitSession session(store, bus, &lines);
    std::vector<LinkOutcome> outcomes;
    QObject::connect(&session, &UnitSession::outcome, [&](LinkOutcome o) { outcomes.push_back(o); });
    int replies = 0;
    QObject::connect(&session, &UnitSession::replyTaken, [&] { ++replies; });

    bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(device));
    ASSERT_TRUE(WaitFor([&] { return session.Linked(); }, 10000));
    EXPECT_GT(replies, 0);
    EXPECT_TRUE(session.holdTimer.isActive());
    EXPECT_EQ(outcomes, std::vector<LinkOutcome>{LinkOutcome::Connected});
    ASSERT_TRUE(session.Unit().has_value());
    EXPECT_EQ(session.State(), LinkStatus::Linked);

    const std::uint16_t gain = 0x010E;  // microphone 1, band 3 gain
    const std::int32_t value = device.Value(gain) == 17 ? 18 : 17;
    const int repliesBefore = replies;
    session.Send(gain, value);
    ASSERT_TRUE(WaitFor([&] { return device.Value(gain) == value && session.Quiet(); }, 10000));
    EXPECT_GT(replies, repliesBefore);  // the acknowledgement was told
    EXPECT_EQ(store.Device(1, 0x0E), value);
    EXPECT_EQ(lines.CountLogStartingWith("READ ERROR"), 0);
    EXPECT_EQ(lines.CountLogStartingWith("WRITE ERROR"), 0);
}

}  // namespace
}  // namespace tr640::testing
