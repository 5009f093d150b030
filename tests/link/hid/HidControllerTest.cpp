// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/HidTestSupport.h"

#include <QElapsedTimer>

#include <cerrno>
#include <chrono>
#include <thread>

namespace tr640::testing {
namespace {

// Waits without running the event loop, for a reader thread to get somewhere.
bool WaitWithoutEvents(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHandOffTimeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

std::vector<std::uint8_t> Report(std::uint8_t first, std::size_t length = 65) {
    std::vector<std::uint8_t> r(length, 0);
    r[0] = 0x01;
    r[1] = first;
    return r;
}

// --- Start-up and scanning ---------------------------------------------------

TEST(HidStartup, PresentDeviceIsAnnouncedListedAndSelectedByTheFirstScan) {
    VirtualTr640 unit;
    VirtualHidBus bus;
    bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(unit));
    Settle();  // the plug notice goes nowhere: nobody listens yet

    TJvHidDeviceController ctl(bus);
    RecordingPort port;
    HidLinkHandlers handlers(ctl, &port);
    handlers.BindEvents();
    int rebuilds = 0;
    auto rebuild = ctl.OnDeviceChange;
    ctl.OnDeviceChange = [&] {
        ++rebuilds;
        rebuild();
    };
    EXPECT_EQ(ctl.ScansRun(), 0) << "the first scan waits for the event loop";

    Settle();
    EXPECT_EQ(ctl.ScansRun(), 1);
    EXPECT_EQ(rebuilds, 1);
    EXPECT_EQ(port.log, (std::vector<std::string>{"Arrival of TR640Device VID=0483 PID=6912"}));
    EXPECT_EQ(port.lines, (std::vector<std::string>{"TR640Device VID=0483 PID=6912"}));
    EXPECT_EQ(port.currentLine, 0);
    EXPECT_EQ(port.presence, (std::vector<std::string>{"DevicePresent"}));
    ASSERT_NE(handlers.SelectedDevice(), nullptr);
    EXPECT_EQ(handlers.DeviceCount(), 1);
    EXPECT_EQ(handlers.OutputReportLength(), 65u);
    EXPECT_EQ(ctl.ReadersRunning(), 1);
}

TEST(HidStartup, EmptyBusStillRaisesOneDeviceChangeAndNoDevicePresent) {
    VirtualHidBus bus;
    TJvHidDeviceController ctl(bus);
    RecordingPort port;
    HidLinkHandlers handlers(ctl, &port);
    handlers.BindEvents();
    ctl.Scan();  // tests may run it at once
    Settle();    // the queued first scan then finds it has run
    EXPECT_EQ(ctl.ScansRun(), 1);
    EXPECT_TRUE(port.log.empty());
    EXPECT_TRUE(port.lines.empty());
    EXPECT_EQ(port.currentLine, -1);
    EXPECT_EQ(port.presence, (std::vector<std::string>{"NoDevicePresent"}));
    EXPECT_FALSE(handlers.IsDeviceSelected());
    EXPECT_EQ(handlers.OutputReportLength(), 0u);
}

// A controller without the link window's handlers: nothing takes anything.
class BareController : public ::testing::Test {
protected:
    VirtualTr640 unit;
    VirtualHidBus bus;
    TJvHidDeviceController ctl{bus};
    std::vector<std::string> events;

    BareController() {
        ctl.OnArrival = [this](TJvHidDevice& d) { events.push_back("arrival " + d.DevicePath()); };
        ctl.OnRemoval = [this](TJvHidDevice& d) { events.push_back("removal " + d.DevicePath()); };
        ctl.OnDeviceChange = [this] { events.push_back("change"); };
    }
};

TEST_F(BareController, ANoticeDuringAScanRunsAnotherScanAfterItNotInsideIt) {
    const std::string first = bus.Plug(VirtualKeyboardInfo(), nullptr);
    Settle();
    events.clear();

    int depth = 0, deepest = 0;
    std::string second;
    ctl.OnArrival = [&](TJvHidDevice& d) {
        ++depth;
        deepest = std::max(deepest, depth);
        events.push_back("arrival " + d.DevicePath());
        if (second.empty()) {
            // Another device turns up while the first arrival is handled,
            // and its notice is served by a nested event loop.
            second = bus.Plug(VirtualKeyboardInfo(), nullptr);
            Settle();
            ctl.Scan();
        }
        --depth;
    };
    const int before = ctl.ScansRun();
    bus.Plug(VirtualKeyboardInfo(), nullptr);
    Settle();
    EXPECT_EQ(deepest, 1);
    EXPECT_GE(ctl.ScansRun() - before, 2);
    EXPECT_EQ(events, (std::vector<std::string>{"arrival /virtual/hidraw1", "change", "arrival " + second, "change"}));
    EXPECT_EQ(ctl.Count(), 3u);
    (void)first;
}

TEST_F(BareController, DevicesAreFollowedByPathInTheOrderFound) {
    const std::string a = bus.Plug(VirtualKeyboardInfo(), nullptr);
    const std::string b = bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(unit));
    Settle();
    EXPECT_EQ(events, (std::vector<std::string>{"arrival " + a, "arrival " + b, "change"}));
    ASSERT_EQ(ctl.Count(), 2u);
    EXPECT_EQ(ctl.Device(0).DevicePath(), a);
    EXPECT_EQ(ctl.Device(1).DevicePath(), b);

    events.clear();
    bus.NotifyChange();  // nothing changed: no event at all
    Settle();
    EXPECT_TRUE(events.empty());

    bus.Unplug(a);
    const std::string c = bus.Plug(VirtualKeyboardInfo(), nullptr);
    Settle();
    EXPECT_EQ(events, (std::vector<std::string>{"removal " + a, "arrival " + c, "change"}));
    ASSERT_EQ(ctl.Count(), 2u);  // the untaken object left at once
    EXPECT_EQ(ctl.Device(0).DevicePath(), b);
    EXPECT_EQ(ctl.Device(1).DevicePath(), c);
}

TEST_F(BareController, ATakenDeviceStaysListedUnpluggedUntilReleased) {
    const std::string a = bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(unit));
    Settle();
    TJvHidDevice& device = ctl.Device(0);
    EXPECT_TRUE(ctl.Take(device));
    EXPECT_FALSE(ctl.Take(device));
    EXPECT_FALSE(device.IsReading()) << "no data event bound, so no reader";

    bus.Unplug(a);
    Settle();
    ASSERT_EQ(ctl.Count(), 1u);
    EXPECT_FALSE(ctl.Device(0).IsPluggedIn());
    EXPECT_EQ(ctl.Device(0).WriteOutputReport(Report(0)).error, ENODEV);
    EXPECT_EQ(ctl.Enumerate(), 0);

    ctl.Release(ctl.Device(0));
    EXPECT_EQ(ctl.Count(), 0u);
}

TEST_F(BareController, ReleaseLeavesAFreshUntakenObjectWhenTheDeviceIsStillThere) {
    bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(unit));
    ctl.OnDeviceData = [](TJvHidDevice&, std::uint8_t, std::span<const std::uint8_t>, std::size_t) {};
    Settle();
    ASSERT_TRUE(ctl.Take(ctl.Device(0)));
    EXPECT_TRUE(ctl.Device(0).IsReading());
    EXPECT_EQ(ctl.ReadersRunning(), 1);

    ctl.Release(ctl.Device(0));
    ASSERT_EQ(ctl.Count(), 1u);
    EXPECT_FALSE(ctl.Device(0).IsTaken());
    EXPECT_FALSE(ctl.Device(0).IsReading());
    EXPECT_TRUE(ctl.Device(0).IsPluggedIn());
    EXPECT_EQ(ctl.ReadersRunning(), 0);
    EXPECT_EQ(bus.OpenConnections("/virtual/hidraw0"), 0) << "handles closed";
}

TEST_F(BareController, ReadWaitSliceIsClampedToItsRange) {
    bus.Plug(VirtualKeyboardInfo(), nullptr);
    Settle();
    TJvHidDevice& device = ctl.Device(0);
    EXPECT_EQ(device.ReadWaitSlice(), 100);
    device.SetReadWaitSlice(1);
    EXPECT_EQ(device.ReadWaitSlice(), 10);
    device.SetReadWaitSlice(50000);
    EXPECT_EQ(device.ReadWaitSlice(), 10000);
}

// --- Who is read -----------------------------------------------------------------

TEST_F(HidBusFixture, OtherHidDevicesAreListedButNeverOpenedOrRead) {
    const std::string kb = PlugKeyboard();
    PlugTr640(device);
    Settle();
    EXPECT_EQ(port.lines, (std::vector<std::string>{"Virtual KeyboardDevice VID=1209 PID=0001",
                                                    "TR640Device VID=0483 PID=6912"}));
    EXPECT_TRUE(ctl.Device(0).IsTaken());
    EXPECT_FALSE(ctl.Device(0).IsReading());
    EXPECT_TRUE(ctl.Device(1).IsReading());

    // A keystroke shaped like an accepting status reply.
    std::vector<std::uint8_t> forged{0x01, 0x50, 0x06, 0xA0, 0x00, 0xFF, 0x00, 0x02, 0x00};
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < forged.size(); ++i) sum += forged[i];
    forged.back() = static_cast<std::uint8_t>(0u - sum);
    keyboard->Press(forged);
    Settle();

    EXPECT_EQ(bus.OpenCount(kb), 0);
    EXPECT_EQ(bus.ReadCalls(kb), 0);
    EXPECT_TRUE(port.replies.empty());
    EXPECT_EQ(port.CountLogStartingWith("R "), 0);
}

TEST_F(HidBusFixture, ADeviceWithoutAccessIsListedAndSelectedButNeverReadAndWritesFail) {
    const std::string path = PlugTr640(device);
    bus.SetOpenError(path, EACCES);
    Settle();
    EXPECT_EQ(port.lines.size(), 1u);
    EXPECT_FALSE(ctl.Device(0).HasReadWriteAccess());
    EXPECT_FALSE(ctl.Device(0).IsReading());
    EXPECT_EQ(port.presence, (std::vector<std::string>{"DevicePresent"}));

    std::vector<std::uint8_t> frame(65, 0);
    frame[0] = 0x02;
    handlers.WriteReport(frame);
    EXPECT_EQ(port.log.back(), "WRITE ERROR: Permission denied (D)");
    EXPECT_EQ(bus.ReadCalls(path), 0);
    EXPECT_EQ(device.Stats().framesReceived, 0u);
}

// --- The reader thread and its hand-offs ------------------------------------------

TEST_F(HidBusFixture, ReportsOfOneDeviceAreHandledOneAtATimeInOrder) {
    auto endpoint = std::make_shared<VirtualHidEndpoint>();
    bus.Plug(VirtualTr640Info(), endpoint);
    Settle();
    ASSERT_EQ(ctl.ReadersRunning(), 1);

    int inHandler = 0, overlap = 0;
    port.onReply = [&](std::span<const std::uint8_t>) {
        overlap += inHandler;
        ++inHandler;
        Settle();  // a nested event loop must not bring the next report in
        --inHandler;
    };
    for (std::uint8_t i = 0; i < 20; ++i) endpoint->SendInputReport(Report(i));
    ASSERT_TRUE(WaitFor([&] { return port.replies.size() == 20; }));
    EXPECT_EQ(overlap, 0);
    for (std::uint8_t i = 0; i < 20; ++i) EXPECT_EQ(port.replies[i][1], i);
}

// The reader goes back to its read while a report waits to be handled (one
// wake-up per report), but hands the next one over only after that.
TEST_F(HidBusFixture, TheReaderReadsOnWhileAReportWaitsButHandsOverOneAtATime) {
    bus.SetReadableDescriptors(false);  // a reader thread, as where nodes do not poll
    auto endpoint = std::make_shared<VirtualHidEndpoint>();
    const std::string path = bus.Plug(VirtualTr640Info(), endpoint);
    Settle();
    TJvHidDevice* reading = &ctl.Device(0);
    endpoint->SendInputReport(Report(1));
    ASSERT_TRUE(WaitWithoutEvents([&] { return reading->HandOffsPosted() == 1 && bus.BlockedReads(path) == 1; }));
    endpoint->SendInputReport(Report(2));
    ASSERT_TRUE(WaitWithoutEvents([&] { return bus.BlockedReads(path) == 0; }));  // it has the second
    EXPECT_EQ(reading->HandOffsPosted(), 1u);
    ASSERT_TRUE(WaitFor([&] { return port.replies.size() == 2; }));
    EXPECT_EQ(port.replies[0][1], 1);
    EXPECT_EQ(port.replies[1][1], 2);
}

TEST_F(HidBusFixture, ReleaseDropsAHandOffThatWasNotHandledYetAndDoesNotWaitForIt) {
    bus.SetReadableDescriptors(false);  // a reader thread, as where nodes do not poll
    auto endpoint = std::make_shared<VirtualHidEndpoint>();
    bus.Plug(VirtualTr640Info(), endpoint);
    Settle();
    TJvHidDevice* reading = handlers.SelectedDevice();
    ASSERT_NE(reading, nullptr);

    endpoint->SendInputReport(Report(0x42));
    // The reader has handed the report over and now waits for this thread,
    // which does not run its event loop.
    ASSERT_TRUE(WaitWithoutEvents([&] { return reading->HandOffsPosted() == 1; }));

    QElapsedTimer clock;
    clock.start();
    handlers.HidCtlDeviceChange();  // releases the device, takes a fresh object
    EXPECT_LT(clock.elapsed(), 2000);
    Settle();
    EXPECT_TRUE(port.replies.empty()) << "no report is handled after its device was released";
    EXPECT_EQ(port.CountLogStartingWith("R "), 0);
    EXPECT_EQ(ctl.ReadersRunning(), 1);

    endpoint->SendInputReport(Report(0x43));
    ASSERT_TRUE(WaitFor([&] { return port.replies.size() == 1; }));
    EXPECT_EQ(port.replies[0][1], 0x43);
}

TEST_F(BareController, ReleaseCutsShortAReaderBlockedInARead) {
    bus.SetReadableDescriptors(false);  // a reader thread, as where nodes do not poll
    const std::string path = bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(unit));
    ctl.OnDeviceData = [](TJvHidDevice&, std::uint8_t, std::span<const std::uint8_t>, std::size_t) {};
    Settle();
    ctl.Device(0).SetReadWaitSlice(10000);
    ASSERT_TRUE(ctl.Take(ctl.Device(0)));
    ASSERT_TRUE(WaitWithoutEvents([&] { return bus.BlockedReads(path) == 1; }));

    QElapsedTimer clock;
    clock.start();
    ctl.Release(ctl.Device(0));
    EXPECT_LT(clock.elapsed(), 2000) << "a ten-second read slice was cut short";
    EXPECT_EQ(ctl.ReadersRunning(), 0);
    EXPECT_EQ(bus.OpenConnections(path), 0);
}

TEST_F(HidBusFixture, ReadErrorsAreReportedWithThePlatformTextAndTheCodeInHex) {
    const std::string path = PlugTr640(device);
    Settle();
    bus.SetReadError(path, EPROTO);
    // The same error again and again is one line with a count.
    ASSERT_TRUE(WaitFor([&] { return port.log.back() == "READ ERROR: Protocol error (47) (x2)"; }));
    bus.SetReadError(path, 0);
    Settle();
    EXPECT_EQ(port.log[1].substr(0, 31), "READ ERROR: Protocol error (47)");
    EXPECT_EQ(port.CountLogStartingWith("READ ERROR"), 1);
    EXPECT_TRUE(port.replies.empty());
    EXPECT_EQ(ctl.ReadersRunning(), 1) << "errors go on until the device is released";
}

TEST(HidShutdown, DestroyingTheControllerStopsReadersWithHandOffsPendingAndReadsBlocked) {
    VirtualHidBus bus;
    bus.SetReadableDescriptors(false);  // reader threads, as where nodes do not poll
    auto busy = std::make_shared<VirtualHidEndpoint>();
    auto idle = std::make_shared<VirtualHidEndpoint>();
    const std::string busyPath = bus.Plug(VirtualTr640Info("1"), busy);
    const std::string idlePath = bus.Plug(VirtualTr640Info("2"), idle);
    int handled = 0;
    {
        TJvHidDeviceController ctl(bus);
        RecordingPort port;
        port.onReply = [&](std::span<const std::uint8_t>) { ++handled; };
        HidLinkHandlers handlers(ctl, &port);
        handlers.BindEvents();
        Settle();
        ASSERT_EQ(ctl.ReadersRunning(), 2);
        busy->SendInputReport(Report(1));
        ASSERT_TRUE(WaitWithoutEvents([&] { return ctl.Device(0).HandOffsPosted() == 1; }));
        ASSERT_TRUE(WaitWithoutEvents([&] { return bus.BlockedReads(idlePath) == 1; }));
    }
    Settle();  // the pending hand-off died with the controller
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(bus.OpenConnections(busyPath), 0);
    EXPECT_EQ(bus.OpenConnections(idlePath), 0);
}

}  // namespace
}  // namespace tr640::testing
