// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/HidTestSupport.h"

#include <cerrno>

namespace tr640::testing {
namespace {

HidDeviceInfo Info(std::uint16_t vid, std::uint16_t pid, std::string product, std::string serial = {},
                   std::string language = {}) {
    HidDeviceInfo info;
    info.vendorId = vid;
    info.productId = pid;
    info.productName = std::move(product);
    info.serial = std::move(serial);
    info.languageIdString = std::move(language);
    return info;
}

// --- Descriptions and log lines --------------------------------------------------

TEST_F(HidBusFixture, DescriptionIsProductThenIdsInUpperCaseHexThenARealSerial) {
    EXPECT_EQ(DeviceDescription(TJvHidDevice(ctl, Info(0x0483, 0x6912, "TR640"))), "TR640Device VID=0483 PID=6912");
    EXPECT_EQ(DeviceDescription(TJvHidDevice(ctl, Info(0x0a1b, 0xc2d, ""))), "Device VID=0A1B PID=0C2D");
    EXPECT_EQ(DeviceDescription(TJvHidDevice(ctl, Info(0x0483, 0x6912, "TR640", "SN01"))),
              "TR640Device VID=0483 PID=6912 (自定义HID描述符=SN01)");
    // A serial that is only the language-id string counts as none.
    EXPECT_EQ(DeviceDescription(TJvHidDevice(ctl, Info(0x0483, 0x6912, "TR640", "\u0409", "\u0409"))),
              "TR640Device VID=0483 PID=6912");
}

TEST_F(HidBusFixture, InputReportIsLoggedByteForByteAndHandedOverWithItsReportId) {
    TJvHidDevice unit(ctl, VirtualTr640Info());
    const std::vector<std::uint8_t> data{0x50, 0x0a, 0xff};
    handlers.HidCtlDeviceData(unit, 0x01, data, data.size());
    EXPECT_EQ(port.log, (std::vector<std::string>{"R 01  50 0A FF L:03 "}));
    EXPECT_EQ(port.replies, (std::vector<std::vector<std::uint8_t>>{{0x01, 0x50, 0x0A, 0xFF}}));

    const std::vector<std::uint8_t> full(64, 0xab);
    handlers.HidCtlDeviceData(unit, 0x01, full, full.size());
    const std::string& line = port.log.back();
    EXPECT_EQ(line.substr(0, 9), "R 01  AB ");
    EXPECT_EQ(line.size(), 6u + 64u * 3u + 5u);
    EXPECT_EQ(line.substr(line.size() - 5), "L:40 ");
    EXPECT_EQ(port.replies.back().size(), 65u);
}

TEST_F(HidBusFixture, ReadErrorLineCarriesThePlatformTextAndTheCodeInUpperCaseHex) {
    TJvHidDevice unit(ctl, VirtualTr640Info());
    handlers.HidCtlDeviceDataError(unit, EIO);
    handlers.HidCtlDeviceDataError(unit, ENOMSG);
    EXPECT_EQ(port.log, (std::vector<std::string>{"READ ERROR: Input/output error (5)",
                                                  "READ ERROR: No message of desired type (2A)"}));
}

TEST_F(HidBusFixture, WriteLogsTheReportIdThenBytesOneToWrittenLessOne) {
    const std::string path = PlugTr640(device);
    Settle();
    ASSERT_TRUE(handlers.IsDeviceSelected());
    port.log.clear();

    std::vector<std::uint8_t> report(65);
    for (std::size_t i = 0; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(i);
    report[0] = 0x02;
    handlers.WriteReport(report);
    EXPECT_EQ(port.reportIds, (std::vector<std::string>{"02"}));
    std::string expected = "W 02  ";
    for (int i = 1; i < 65; ++i) expected += Hex2(static_cast<unsigned>(i)) + " ";
    EXPECT_EQ(port.log, (std::vector<std::string>{expected}));
    EXPECT_EQ(bus.WriteCount(path), 1);

    bus.SetWriteError(path, EPIPE);
    report[0] = 0x01;
    handlers.WriteReport(report);
    EXPECT_EQ(port.reportIds.back(), "01");
    EXPECT_EQ(port.log.back(), "WRITE ERROR: Broken pipe (20)");
}

TEST_F(HidBusFixture, TheReportIdFieldIsToldOnlyOfAChange) {
    PlugTr640(device);
    Settle();
    std::vector<std::uint8_t> report(65, 0x00);
    for (std::uint8_t id : {0x02, 0x01, 0x01, 0x01, 0x02}) {
        report[0] = id;
        handlers.WriteReport(report);
    }
    EXPECT_EQ(port.reportIds, (std::vector<std::string>{"02", "01", "02"}));
}

TEST_F(HidBusFixture, WithoutASelectedDeviceAWriteLeavesNoTrace) {
    Settle();
    std::vector<std::uint8_t> report(65, 0x01);
    handlers.WriteReport(report);
    EXPECT_TRUE(port.log.empty());
    EXPECT_TRUE(port.reportIds.empty());
}

TEST_F(HidBusFixture, PlatformNotesGoToTheLog) {
    bus.AddNote("HID: a remark");
    Settle();
    EXPECT_EQ(port.log, (std::vector<std::string>{"HID: a remark"}));
}

// --- Rebuild and selection ---------------------------------------------------------

TEST_F(HidBusFixture, WithTwoTr640sTheOneListedLastIsSelected) {
    const std::string first = PlugTr640(device, "A");
    const std::string second = PlugTr640(device2, "B");
    Settle();
    EXPECT_EQ(port.lines, (std::vector<std::string>{"TR640Device VID=0483 PID=6912 (自定义HID描述符=A)",
                                                    "TR640Device VID=0483 PID=6912 (自定义HID描述符=B)"}));
    EXPECT_EQ(port.currentLine, 0) << "the first line is current, whichever is selected";
    ASSERT_NE(handlers.SelectedDevice(), nullptr);
    EXPECT_EQ(handlers.SelectedDevice()->DevicePath(), second);
    EXPECT_EQ(ctl.ReadersRunning(), 2) << "both are read";

    std::vector<std::uint8_t> report(65, 0);
    report[0] = 0x02;
    handlers.WriteReport(report);
    EXPECT_EQ(bus.WriteCount(second), 1);
    EXPECT_EQ(bus.WriteCount(first), 0);
}

TEST_F(HidBusFixture, RepliesOfEveryTakenTr640ReachTheParser) {
    auto a = std::make_shared<VirtualHidEndpoint>();
    auto b = std::make_shared<VirtualHidEndpoint>();
    bus.Plug(VirtualTr640Info("A"), a);
    bus.Plug(VirtualTr640Info("B"), b);
    Settle();
    std::vector<std::uint8_t> report(65, 0);
    report[0] = 0x01;
    report[1] = 0xA;
    a->SendInputReport(report);
    ASSERT_TRUE(WaitFor([&] { return port.replies.size() == 1; }));
    report[1] = 0xB;
    b->SendInputReport(report);
    ASSERT_TRUE(WaitFor([&] { return port.replies.size() == 2; }));
    EXPECT_EQ(port.replies[0][1], 0xA);
    EXPECT_EQ(port.replies[1][1], 0xB);
}

TEST_F(HidBusFixture, PluggingAndUnpluggingWhileRunningRebuildsAndCallsThePresenceHandlers) {
    Settle();
    EXPECT_EQ(port.presence, (std::vector<std::string>{"NoDevicePresent"}));

    const std::string path = PlugTr640(device);
    Settle();
    EXPECT_EQ(port.log, (std::vector<std::string>{"Arrival of TR640Device VID=0483 PID=6912"}));
    EXPECT_EQ(port.lines.size(), 1u);
    EXPECT_EQ(port.presence, (std::vector<std::string>{"NoDevicePresent", "DevicePresent"}));
    EXPECT_TRUE(handlers.IsDeviceSelected());

    const std::string kb = PlugKeyboard();
    Settle();
    EXPECT_EQ(port.log.back(), "Arrival of Virtual KeyboardDevice VID=1209 PID=0001");
    EXPECT_EQ(port.presence.back(), "DevicePresent") << "every change of the device set rebuilds";
    EXPECT_EQ(port.presence.size(), 3u);

    bus.Unplug(path);
    Settle();
    EXPECT_EQ(port.log, (std::vector<std::string>{"Arrival of TR640Device VID=0483 PID=6912",
                                                  "Arrival of Virtual KeyboardDevice VID=1209 PID=0001",
                                                  "Removal of TR640Device VID=0483 PID=6912"}));
    EXPECT_EQ(port.lines, (std::vector<std::string>{"Virtual KeyboardDevice VID=1209 PID=0001"}));
    EXPECT_EQ(port.presence, (std::vector<std::string>{"NoDevicePresent", "DevicePresent", "DevicePresent",
                                                       "NoDevicePresent"}));
    EXPECT_FALSE(handlers.IsDeviceSelected());
    EXPECT_EQ(ctl.ReadersRunning(), 0);
    EXPECT_EQ(ctl.Count(), 1u);

    std::vector<std::uint8_t> report(65, 0x01);
    handlers.WriteReport(report);
    EXPECT_EQ(port.log.size(), 3u) << "a later write sends nothing";

    bus.Unplug(kb);
    Settle();
    EXPECT_EQ(port.log.back(), "Removal of Virtual KeyboardDevice VID=1209 PID=0001");
    EXPECT_TRUE(port.lines.empty());
    EXPECT_EQ(port.currentLine, -1);
    EXPECT_EQ(port.presence.back(), "NoDevicePresent");
    EXPECT_EQ(ctl.Count(), 0u);
}

}  // namespace
}  // namespace tr640::testing
