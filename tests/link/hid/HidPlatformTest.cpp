// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/AccessSettler.h"
#include "link/hid/HidapiPlatform.h"
#include "link/hid/ReportDescriptor.h"
#include "link/hid/HidTestSupport.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tr640::testing {
namespace {

// --- Report lengths from the report descriptor ---------------------------------------

TEST(ReportDescriptor, VendorDefinedReportsOfSixtyFourBytesGiveSixtyFive) {
    // Vendor page, report 1 in and out, report 2 out, 64 bytes each.
    const std::vector<std::uint8_t> descriptor{
        0x06, 0x00, 0xFF,  // Usage Page (vendor)
        0x09, 0x01,        // Usage
        0xA1, 0x01,        // Collection (application)
        0x15, 0x00,        //   Logical Minimum 0
        0x26, 0xFF, 0x00,  //   Logical Maximum 255
        0x75, 0x08,        //   Report Size 8
        0x85, 0x01,        //   Report ID 1
        0x95, 0x40,        //   Report Count 64
        0x09, 0x01, 0x81, 0x02,  // Input
        0x95, 0x40, 0x09, 0x01, 0x91, 0x02,  // Output
        0x85, 0x02,        //   Report ID 2
        0x95, 0x40, 0x09, 0x01, 0x91, 0x02,  // Output
        0xC0,
    };
    const ReportLengths lengths = ReportLengthsFromDescriptor(descriptor);
    EXPECT_EQ(lengths.input, 65u);
    EXPECT_EQ(lengths.output, 65u);
}

TEST(ReportDescriptor, BootKeyboardSumsItemsOfOneReportAndHonoursPushAndPop) {
    const std::vector<std::uint8_t> descriptor{
        0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,
        0x75, 0x01, 0x95, 0x08, 0x81, 0x02,  // modifiers: 8 x 1 bit
        0xA4,                                // Push
        0x75, 0x08, 0x95, 0x01, 0x81, 0x01,  // reserved byte
        0xB4,                                // Pop: back to 8 x 1 bit
        0x75, 0x03, 0x95, 0x01, 0x91, 0x01,  // LEDs: 5 x 1 bit + 3 bits padding
        0x75, 0x01, 0x95, 0x05, 0x91, 0x02,
        0x75, 0x08, 0x95, 0x06, 0x81, 0x00,  // six key codes
        0xC0,
    };
    const ReportLengths lengths = ReportLengthsFromDescriptor(descriptor);
    EXPECT_EQ(lengths.input, 9u);   // 8 bytes and the report id byte
    EXPECT_EQ(lengths.output, 2u);  // 1 byte and the report id byte
}

TEST(ReportDescriptor, EmptyOrTruncatedDescriptorsGiveWhatWasRead) {
    EXPECT_EQ(ReportLengthsFromDescriptor({}).input, 0u);
    const std::vector<std::uint8_t> cut{0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0x26, 0xFF};
    const ReportLengths lengths = ReportLengthsFromDescriptor(cut);
    EXPECT_EQ(lengths.input, 5u);
    EXPECT_EQ(lengths.output, 0u);
    const std::vector<std::uint8_t> longItem{0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x75, 0x08, 0x95, 0x02, 0x91, 0x02};
    EXPECT_EQ(ReportLengthsFromDescriptor(longItem).output, 3u);
}

// --- Waiting for access after plug-in ------------------------------------------------

struct FakeNodes {
    std::map<std::string, std::vector<int>> answers;  // per path, consumed front first; the last repeats
    int Probe(const std::string& path) {
        auto& a = answers[path];
        if (a.empty()) return ENOENT;
        const int r = a.front();
        if (a.size() > 1) a.erase(a.begin());
        return r;
    }
};

TEST(AccessSettler, ARefusedNewNodeIsHeldBackUntilItOpens) {
    FakeNodes nodes;
    nodes.answers["/dev/hidraw3"] = {EACCES, EACCES, 0};  // on arrival, then per tick
    AccessSettler settler([&](const std::string& p) { return nodes.Probe(p); });
    int settled = 0;
    settler.OnSettled = [&] { ++settled; };

    settler.Arrived("/dev/hidraw3");
    EXPECT_TRUE(settler.IsSettling("/dev/hidraw3"));
    EXPECT_TRUE(settler.Timer().isActive());
    EXPECT_EQ(settler.Timer().interval(), 200);
    settler.RetryTick();
    EXPECT_TRUE(settler.IsSettling("/dev/hidraw3"));
    EXPECT_EQ(settled, 0);
    settler.RetryTick();
    EXPECT_FALSE(settler.IsSettling("/dev/hidraw3"));
    EXPECT_EQ(settled, 1);
    EXPECT_FALSE(settler.Timer().isActive());
}

TEST(AccessSettler, GivesUpAfterFiveTriesAndLetsTheNodeBeListedWithoutAccess) {
    FakeNodes nodes;
    nodes.answers["/dev/hidraw1"] = {EACCES};
    AccessSettler settler([&](const std::string& p) { return nodes.Probe(p); });
    int settled = 0;
    settler.OnSettled = [&] { ++settled; };
    settler.Arrived("/dev/hidraw1");
    for (int i = 0; i < 4; ++i) settler.RetryTick();
    EXPECT_TRUE(settler.IsSettling("/dev/hidraw1"));
    settler.RetryTick();
    EXPECT_FALSE(settler.IsSettling("/dev/hidraw1"));
    EXPECT_EQ(settled, 1);
    EXPECT_TRUE(settler.Idle());
}

TEST(AccessSettler, ANodeThatOpensOrVanishesIsNotHeldBack) {
    FakeNodes nodes;
    nodes.answers["/dev/hidraw0"] = {0};
    AccessSettler settler([&](const std::string& p) { return nodes.Probe(p); });
    settler.Arrived("/dev/hidraw0");
    settler.Arrived("/dev/hidraw9");  // gone already
    EXPECT_TRUE(settler.Idle());
    EXPECT_FALSE(settler.Timer().isActive());
}

// --- The real platform on this machine --------------------------------------------------

TEST(HidapiPlatform, StartsWithoutUdevOrDevicesAndSaysWhatItLists) {
    HidapiPlatform platform;
    TJvHidDeviceController ctl(platform);
    RecordingPort port;
    HidLinkHandlers handlers(ctl, &port);
    handlers.BindEvents();
    Settle();
    EXPECT_EQ(ctl.ScansRun(), 1);
    ASSERT_EQ(port.presence.size(), 1u);

    if (!platform.Monitoring()) {
        // No device monitor: the first line of the log says so.
        ASSERT_FALSE(port.log.empty());
        EXPECT_EQ(port.log.front().rfind("HID: udev is not running here", 0), 0u) << port.log.front();
        if (port.lines.empty()) {
            EXPECT_EQ(port.log.front(), "HID: udev is not running here: no HID devices listed, plugging is not followed");
        }
    }
    if (port.lines.empty()) {
        EXPECT_EQ(port.presence.front(), "NoDevicePresent");
        EXPECT_FALSE(handlers.IsDeviceSelected());
    }
    // A second scan adds no note.
    const std::size_t logged = port.log.size();
    ctl.Scan();
    EXPECT_EQ(port.log.size(), logged);
}

TEST(HidapiPlatform, OpeningAPathThatIsNotThereFailsWithAnErrorCode) {
    HidapiPlatform platform;
    int error = 0;
    EXPECT_EQ(platform.Open("/dev/hidraw-none", &error), nullptr);
    EXPECT_NE(error, 0);
    EXPECT_FALSE(platform.ErrorText(error).empty());
    EXPECT_EQ(ProbeReadWriteAccess("/dev/hidraw-none"), ENOENT);
}

// The read connection is the node itself, read without waiting when its
// descriptor polls readable; a FIFO stands in for a hidraw node here.
TEST(HidapiPlatform, TheReadConnectionReadsTheNodeWithoutWaitingAndOffersItsDescriptor) {
    const std::string fifo = ::testing::TempDir() + "tr640-hidraw-fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    HidapiPlatform platform;
    int error = -1;
    const std::unique_ptr<HidConnection> reader = platform.OpenForReading(fifo, &error);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(error, 0);
    ASSERT_GE(reader->ReadableDescriptor(), 0);
    std::vector<std::uint8_t> buffer(65, 0);
    EXPECT_EQ(reader->Read(buffer, 0).bytes, 0) << "nothing waits: no wait either";

    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    std::vector<std::uint8_t> report(65, 0);
    report[0] = 0x01;
    report[1] = 0x42;
    ASSERT_EQ(::write(writer, report.data(), report.size()), 65);
    pollfd watched{reader->ReadableDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&watched, 1, 0), 1);
    const HidIoResult read = reader->Read(buffer, 0);
    EXPECT_TRUE(read.Ok());
    EXPECT_EQ(read.bytes, 65);
    EXPECT_EQ(buffer[1], 0x42);
    ::close(writer);
    ::unlink(fifo.c_str());
}

}  // namespace
}  // namespace tr640::testing
