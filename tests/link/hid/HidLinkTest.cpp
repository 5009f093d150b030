// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/HidTestSupport.h"

#include "link/FrameSender.h"
#include "link/Link.h"
#include "link/LinkHarness.h"
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
    int language = kLanguageChinese;
    FrameSender sender{handlers};
    Link link{store, sender, view, {connectTimer, transferTimer, holdTimer}, language};
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
    EXPECT_TRUE(view.messages.empty()) << "leaving without a device shows nothing";

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

// --- With the real timers ----------------------------------------------------------

// A link timer over a QTimer, ticking into the link in the event loop.
class QtTimer final : public LinkTimer {
public:
    QtTimer(int intervalMs, std::function<void()> tick) {
        timer_.setInterval(intervalMs);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [tick = std::move(tick)] { tick(); });
    }
    void Start() override {
        if (!timer_.isActive()) timer_.start();
    }
    void Stop() override { timer_.stop(); }
    bool IsActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

TEST_F(HidBusFixture, EndToEndWithRealTimersAParameterChangeReachesTheDevice) {
    ParamStore store;
    RecordingView view;
    view.store = &store;
    int language = kLanguageChinese;
    Link* linkPtr = nullptr;
    QtTimer connect(1000, [&] { linkPtr->Timer1Timer(); });
    QtTimer transfer(50, [&] { linkPtr->Timer2Timer(); });
    QtTimer hold(40, [&] { linkPtr->HoldTimerTimer(); });
    FrameSender sender(handlers);
    Link link(store, sender, view, {connect, transfer, hold}, language);
    linkPtr = &link;
    port.onDevicePresent = [&] { link.DevicePresent(); };
    port.onNoDevicePresent = [&] { link.NoDevicePresent(); };
    port.onReply = [&](std::span<const std::uint8_t> r) { link.OnReply(r); };
    // The link dies with this test body; the fixture's port outlives it.
    struct Unhook {
        RecordingPort& port;
        ~Unhook() { port.onDevicePresent = port.onNoDevicePresent = nullptr, port.onReply = nullptr; }
    } unhook{port};

    PlugTr640(device);
    ASSERT_TRUE(WaitFor([&] { return link.Vars().linkState == kLinkedIdle; }, 10000));
    EXPECT_TRUE(hold.IsActive());

    const std::uint16_t gain = 0x010E;  // microphone 1, band 3 gain
    const std::int32_t value = device.Value(gain) == 17 ? 18 : 17;
    link.SendParameter(gain, value);
    ASSERT_TRUE(WaitFor([&] { return device.Value(gain) == value; }, 10000));
    EXPECT_EQ(store.Device(1, 0x0E), value);
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
    EXPECT_EQ(port.CountLogStartingWith("READ ERROR"), 0);
    EXPECT_EQ(port.CountLogStartingWith("WRITE ERROR"), 0);

    // Stop the ticks before the link goes away.
    link.NoDevicePresent();
}

}  // namespace
}  // namespace tr640::testing
