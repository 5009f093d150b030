// SPDX-License-Identifier: GPL-3.0-or-later
// The transport on a bus that behaves as hidraw and udev do: node numbers
// handed out again, readers that see ENODEV before the notice, notices that
// come late and together (held here until the test delivers them), and
// access that is granted after plug-in.
#include "link/hid/HidTestSupport.h"

#include <QElapsedTimer>

#include <cerrno>

namespace tr640::testing {
namespace {

class LinuxBus : public HidBusFixture {
protected:
    LinuxBus() : HidBusFixture(VirtualHidBus::Behaviour::LinuxLike) {}

    std::string PlugAndList() {
        const std::string path = PlugTr640(device);
        Settle();  // the first scan, which needs no notice
        return path;
    }
};

TEST_F(LinuxBus, AUnitReplugBetweenTwoScansIsARemovalAndAnArrival) {
    const std::string path = PlugAndList();
    bus.Unplug(path);
    ASSERT_EQ(PlugTr640(device), path) << "the lowest free node number again";
    bus.DeliverNotices();
    EXPECT_EQ(port.CountLogStartingWith("Removal of TR640"), 1);
    EXPECT_EQ(port.CountLogStartingWith("Arrival of TR640"), 2);
    EXPECT_EQ(port.presence, (std::vector<std::string>{"DevicePresent", "DevicePresent"}));
    ASSERT_NE(handlers.SelectedDevice(), nullptr);
    EXPECT_TRUE(handlers.SelectedDevice()->IsReadOnEventLoop()) << "the new plug is read";
}

TEST_F(LinuxBus, AKeyboardOnTheUnitsFormerNodeIsNotTakenForTheUnit) {
    const std::string path = PlugAndList();
    bus.Unplug(path);
    ASSERT_EQ(PlugKeyboard(), path);
    bus.DeliverNotices();
    EXPECT_EQ(port.lines, (std::vector<std::string>{"Virtual KeyboardDevice VID=1209 PID=0001"}));
    EXPECT_EQ(port.presence.back(), "NoDevicePresent");
    EXPECT_EQ(ctl.ReadersRunning(), 0);
}

TEST_F(LinuxBus, AfterAReadErrorTheReaderWaitsASliceAndTheReleaseCutsTheWaitShort) {
    bus.SetReadableDescriptors(false);  // a reader thread, as where nodes do not poll
    ctl.SetReadWaitSlice(TJvHidDevice::kMaxReadWaitSliceMs);
    const std::string path = PlugAndList();
    ASSERT_TRUE(WaitFor([&] { return bus.BlockedReads(path) == 1; }));
    const int reads = bus.ReadCalls(path);

    TJvHidDevice* reader = handlers.SelectedDevice();
    bus.Unplug(path);  // the reader hears of it first
    ASSERT_TRUE(WaitFor([&] { return reader->ReaderPauses() == 1 || bus.ReadCalls(path) > reads + 1; }));
    EXPECT_EQ(bus.ReadCalls(path), reads) << "no read again at once";
    EXPECT_EQ(port.CountLogStartingWith("READ ERROR"), 1);

    QElapsedTimer clock;
    clock.start();
    bus.DeliverNotices();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(port.log.back(), "Removal of TR640Device VID=0483 PID=6912");
    EXPECT_EQ(ctl.ReadersRunning(), 0);
}

TEST_F(LinuxBus, ReadErrorsUntilTheNoticeArrivesAreOneLineWithACount) {
    ctl.SetReadWaitSlice(TJvHidDevice::kMinReadWaitSliceMs);
    const std::string path = PlugAndList();
    bus.Unplug(path);
    ASSERT_TRUE(WaitFor([&] { return port.log.back() == "READ ERROR: No such device (13) (x3)"; }));
    bus.DeliverNotices();
    EXPECT_EQ(port.CountLogStartingWith("READ ERROR"), 1);
    EXPECT_EQ(port.log.back(), "Removal of TR640Device VID=0483 PID=6912");
}

TEST_F(LinuxBus, AccessGrantedAfterPlugInIsUsedAtItsChangeNotice) {
    const std::string path = PlugTr640(device);
    bus.SetOpenError(path, EACCES);
    Settle();
    ASSERT_EQ(ctl.ReadersRunning(), 0);

    bus.ChangeAccess(path, 0);  // the rule installed, udev triggered
    bus.DeliverNotices();
    EXPECT_EQ(port.CountLogStartingWith("Arrival of "), 1) << "the same plug";
    EXPECT_EQ(port.presence, (std::vector<std::string>{"DevicePresent", "DevicePresent"})) << "a rebuild";
    EXPECT_EQ(ctl.ReadersRunning(), 1);
    ASSERT_NE(handlers.SelectedDevice(), nullptr);
    EXPECT_TRUE(handlers.SelectedDevice()->IsReadOnEventLoop());
}

// Read on the event loop, an idle unit costs no reads at all, and a failed
// read is not tried again before a slice has passed.
TEST_F(LinuxBus, OnTheEventLoopNothingIsReadUntilAReportWaitsAndAnErrorWaitsASlice) {
    ctl.SetReadWaitSlice(TJvHidDevice::kMaxReadWaitSliceMs);
    auto endpoint = std::make_shared<VirtualHidEndpoint>();
    const std::string path = bus.Plug(VirtualTr640Info(), endpoint);
    Settle();
    TJvHidDevice* reader = handlers.SelectedDevice();
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(reader->IsReadOnEventLoop());
    Settle();
    EXPECT_EQ(bus.ReadCalls(path), 0);
    std::vector<std::uint8_t> report(65, 0);
    report[0] = 0x01;
    endpoint->SendInputReport(report);
    ASSERT_TRUE(WaitFor([&] { return port.replies.size() == 1; }));
    EXPECT_EQ(bus.ReadCalls(path), 2) << "the report, then the read that finds nothing more";

    bus.Unplug(path);
    Settle();
    EXPECT_EQ(bus.ReadCalls(path), 3);
    EXPECT_EQ(reader->ReaderPauses(), 1);
    EXPECT_EQ(port.CountLogStartingWith("READ ERROR"), 1);
    bus.DeliverNotices();
    EXPECT_EQ(ctl.ReadersRunning(), 0);
}

TEST_F(LinuxBus, TheReadersOwnOpenIsTriedAgainOnceASlice) {
    ctl.SetReadWaitSlice(TJvHidDevice::kMinReadWaitSliceMs);
    auto endpoint = std::make_shared<VirtualHidEndpoint>();
    const std::string path = bus.Plug(VirtualTr640Info(), endpoint);
    bus.FailNextOpens(path, EBUSY, 3);
    Settle();
    ASSERT_TRUE(WaitFor([&] { return bus.BlockedReads(path) == 1; }));
    EXPECT_EQ(port.log.back(), "READ ERROR: Device or resource busy (10) (x3)");

    std::vector<std::uint8_t> report(65, 0);
    report[0] = 0x01;
    endpoint->SendInputReport(report);
    EXPECT_TRUE(WaitFor([&] { return port.replies.size() == 1; }));
}

}  // namespace
}  // namespace tr640::testing
