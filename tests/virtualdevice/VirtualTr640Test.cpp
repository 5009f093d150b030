// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace tr640 {
namespace {

using Report = std::vector<std::uint8_t>;
using Dev = VirtualTr640;

constexpr LinkKey kKey{0x17, 0xA4, 0x3C, 0x5E, 0x5E, 0x5E};

unsigned Sum(const Report& r, std::size_t count) {
    return std::accumulate(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(count), 0u) & 0xFFu;
}

std::uint16_t StatusOf(const Report& r) { return static_cast<std::uint16_t>(r[6] << 8 | r[7]); }

class VirtualTr640Test : public ::testing::Test {
protected:
    void SetUp() override {
        dev.SetReplySink([this](std::span<const std::uint8_t> r) { replies.emplace_back(r.begin(), r.end()); });
    }

    void Send(const FrameBuffer& frame) { dev.ReceiveOutputReport(frame); }
    void Connect(const LinkKey& k = kKey) {
        Send(BuildKeyFrame(k));
        key = k;
    }
    FrameBuffer Scrambled(FrameBuffer frame) const {
        ScrambleFrame(frame, key);
        return frame;
    }
    void Command(std::uint8_t cmd, std::int32_t address, std::int32_t value) {
        Send(Scrambled(BuildCommandFrame(cmd, address, value)));
    }
    void Write(std::int32_t address, std::int32_t value) { Command(proto::kCmdWrite, address, value); }
    void Read(std::int32_t address) { Command(proto::kCmdRead, proto::kAddrReadRequest, address); }
    void Block(std::uint8_t page, std::uint8_t first, const std::vector<std::uint16_t>& values) {
        std::vector<std::uint8_t> data{page, first};
        for (std::uint16_t v : values) {
            data.push_back(static_cast<std::uint8_t>(v >> 8));
            data.push_back(static_cast<std::uint8_t>(v & 0xFF));
        }
        Send(Scrambled(BuildBlockFrame(proto::kCmdWrite, proto::kAddrBlockWrite, proto::kBlockPayload, data)));
    }
    std::uint16_t LastStatus() const { return StatusOf(replies.back()); }

    Dev dev;
    LinkKey key{};
    std::vector<Report> replies;
};

// Every reply must pass both readings of its check byte: the host's (the last
// byte of the whole report) and the device's own (at 2 + L).
void ExpectWellFormed(const Report& r) {
    ASSERT_EQ(r.size(), Dev::kInputReportLength);
    EXPECT_EQ(r[0], proto::kDataReportId);
    EXPECT_EQ(r[1], proto::kFrameMarker);
    EXPECT_EQ(r[4], 0x00);
    EXPECT_EQ(Sum(r, r.size()), 0u) << "last byte is not the check of the report";
    EXPECT_EQ(Sum(r, 3u + r[2]), 0u) << "no check byte at 2 + L";
}

TEST_F(VirtualTr640Test, LearnsKeyAndRejectsBadCheckCopy) {
    // Before the first KeyFrame the key is zero, so plain frames get through.
    Write(0x010E, 170);
    EXPECT_EQ(LastStatus(), Dev::kStatusAccepted);
    EXPECT_FALSE(dev.KeyLearned());

    FrameBuffer bad = BuildKeyFrame(kKey);
    bad[proto::kKeyCheckOffset + 3] ^= 0x01;
    Send(bad);
    EXPECT_EQ(LastStatus(), proto::kStatusError);
    EXPECT_FALSE(dev.KeyLearned());

    Connect();
    ExpectWellFormed(replies.back());
    EXPECT_EQ(replies.back()[3], proto::kCmdWrite);
    EXPECT_EQ(replies.back()[5], 0xFF);
    EXPECT_EQ(LastStatus(), Dev::kStatusAccepted);
    EXPECT_EQ(dev.Key(), kKey);

    // A frame scrambled with another key no longer sums to zero.
    key = LinkKey{1, 2, 3, 4, 5, 6};
    Write(0x010E, 120);
    EXPECT_EQ(LastStatus(), proto::kStatusError);
    EXPECT_EQ(dev.Value(0x010E), 170);

    // A bad KeyFrame later on leaves the learned key in place.
    Send(bad);
    EXPECT_EQ(dev.Key(), kKey);
    EXPECT_EQ(dev.Stats().framesRejected, 3u);
}

TEST_F(VirtualTr640Test, StoresScrambledWritesAndLogsThemInOrder) {
    Connect();
    for (int index = 74; index >= 70; --index) Write(0x0100 + index, 51400 - index);
    Write(0x0134, -1);  // goes out as 00 FF
    EXPECT_EQ(dev.Value(0x0134), 0x00FF);
    EXPECT_EQ(dev.Value(1, 72), 51400 - 72);

    const std::vector<Dev::WriteRecord> expected{{0x014A, 51326}, {0x0149, 51327}, {0x0148, 51328},
                                                 {0x0147, 51329}, {0x0146, 51330}, {0x0134, 0x00FF}};
    EXPECT_EQ(dev.WriteLog(), expected);
    for (const Report& r : replies) {
        ExpectWellFormed(r);
        EXPECT_EQ(StatusOf(r), Dev::kStatusAccepted);
    }
}

TEST_F(VirtualTr640Test, RefusesFramesItCannotTake) {
    Connect();
    const Dev before = dev;

    FrameBuffer sum = Scrambled(BuildCommandFrame(proto::kCmdWrite, 0x0105, 300));
    sum[20] ^= 0x40;  // filler is covered by the checksum too
    Send(sum);
    FrameBuffer marker = Scrambled(BuildCommandFrame(proto::kCmdWrite, 0x0105, 300));
    marker[1] = 0x51;
    marker[29] = static_cast<std::uint8_t>(marker[29] - 1);  // keep the sum right
    Send(marker);
    Command(0xA5, 0x0105, 300);                     // unknown command
    Write(proto::kAddrReadRequest, 0);              // not writable
    Command(proto::kCmdRead, 0x0105, 0);            // reads only go to the request address
    Write(0x0205, 300);                             // no page 2
    Write(proto::kAddrControl, 0x44);               // unknown control code
    Write(0x000C, 5);                               // there is no user mode 6
    Write(proto::kAddrBlockWrite, 0);               // a block address with a command length
    Send(Scrambled(BuildBlockFrame(proto::kCmdWrite, 0x0105, proto::kBlockPayload, std::vector<std::uint8_t>(22))));
    dev.ReceiveOutputReport(std::span(sum).first(20));  // too short to hold a frame
    FrameBuffer otherId = BuildKeyFrame(kKey);
    otherId[0] = 0x03;
    Send(otherId);

    constexpr std::size_t kBad = 12;
    ASSERT_EQ(replies.size(), 1 + kBad);
    for (std::size_t i = 1; i < replies.size(); ++i) {
        ExpectWellFormed(replies[i]);
        EXPECT_EQ(StatusOf(replies[i]), proto::kStatusError) << "frame " << i;
    }
    EXPECT_EQ(replies[5][3], proto::kCmdRead);
    EXPECT_EQ(dev.Stats().framesReceived, 1 + kBad);
    EXPECT_EQ(dev.Stats().framesAccepted, 1u);
    EXPECT_EQ(dev.Stats().framesRejected, kBad);
    EXPECT_TRUE(dev.WriteLog().empty());
    for (std::size_t i = 0; i < Dev::kPageSize; ++i) EXPECT_EQ(dev.Value(1, i), before.Value(1, i)) << i;
}

TEST_F(VirtualTr640Test, ReadReplyCarriesTenValuesOfTheBlock) {
    Connect();
    dev.SetValue(0x0150, 0xBEEF);
    Read(0x0150);
    const Report& r = replies.back();
    ExpectWellFormed(r);
    EXPECT_EQ(r[2], Dev::kReadReplyLength);
    EXPECT_EQ(r[3], proto::kCmdRead);
    EXPECT_EQ(r[5], 0x39);
    EXPECT_EQ(r[6], 0x01);
    EXPECT_EQ(r[7], 0x50);
    EXPECT_EQ(r[8], 0xBE);
    EXPECT_EQ(r[9], 0xEF);
    for (std::size_t j = 0; j < 10; ++j) {
        EXPECT_EQ(r[8 + 2 * j] << 8 | r[9 + 2 * j], dev.Value(1, 80 + j)) << j;
    }

    // Past the end of the page and on pages the device does not have: zeros.
    Read(0x01FA);
    EXPECT_EQ(replies.back()[8] << 8 | replies.back()[9], dev.Value(1, 250));
    EXPECT_TRUE(std::all_of(replies.back().begin() + 20, replies.back().begin() + 28, [](auto b) { return b == 0; }));
    Read(0x0500);
    EXPECT_TRUE(std::all_of(replies.back().begin() + 8, replies.back().begin() + 28, [](auto b) { return b == 0; }));
    ExpectWellFormed(replies.back());
}

TEST_F(VirtualTr640Test, BlockWriteStoresTenValuesAndControlCodesAreAcknowledged) {
    Connect();
    Block(1, 80, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0x1234});
    EXPECT_EQ(LastStatus(), Dev::kStatusBlockStored);
    EXPECT_EQ(dev.Value(1, 80), 1);
    EXPECT_EQ(dev.Value(1, 89), 0x1234);
    ASSERT_EQ(dev.WriteLog().size(), 10u);
    EXPECT_EQ(dev.WriteLog().back(), (Dev::WriteRecord{0x0159, 0x1234}));

    for (std::uint8_t code : {proto::kCtlWriteDone, proto::kCtlReadDone, proto::kCtlKeepAlive}) {
        Write(proto::kAddrControl, code);
        EXPECT_EQ(LastStatus(), Dev::kStatusAccepted);
        EXPECT_EQ(dev.WriteLog().back(), (Dev::WriteRecord{proto::kAddrControl, code}));
    }
}

TEST_F(VirtualTr640Test, StartsWithSettingsUnlikeTheProgramsAndRecallsAndSavesModes) {
    // The program starts with 1 at every address it reads and its own band
    // frequencies; a first read must show that the values came from the unit.
    for (std::size_t i = 0; i < 15; ++i) EXPECT_NE(dev.Value(0, i), 1) << "page 0 index " << i;
    for (std::size_t i = 0; i < 83; ++i) EXPECT_NE(dev.Value(1, i), 1) << "page 1 index " << i;
    constexpr std::uint16_t kProgramFrequencies[] = {30, 66, 229, 976, 4393};
    for (std::size_t b = 0; b < 5; ++b) {
        EXPECT_NE(dev.Value(1, 3 + 5 * b), kProgramFrequencies[b]);
        EXPECT_NE(dev.Value(1, 28 + 5 * b), kProgramFrequencies[b]);
    }
    for (std::size_t n = 1; n <= Dev::kUserModeCount; ++n) {
        EXPECT_NE(dev.UserMode(n)[4], dev.Value(1, 4)) << n;
        for (std::size_t m = n + 1; m <= Dev::kUserModeCount; ++m) EXPECT_NE(dev.UserMode(n), dev.UserMode(m));
    }

    Connect();
    Write(0x000C, 2);  // recall user mode 3
    EXPECT_EQ(LastStatus(), Dev::kStatusModeRecalled);
    for (std::size_t i = 0; i < Dev::kPageSize; ++i) ASSERT_EQ(dev.Value(1, i), dev.UserMode(3)[i]) << i;

    Write(0x0104, 99);
    Write(0x000D, 0);  // save as user mode 1
    EXPECT_EQ(LastStatus(), Dev::kStatusModeSaved);
    EXPECT_EQ(dev.UserMode(1)[4], 99);
    Write(0x000C, 4);
    EXPECT_NE(dev.Value(0x0104), 99);
    Write(0x000C, 0);
    EXPECT_EQ(dev.Value(0x0104), 99);
    EXPECT_EQ(dev.Value(0x000C), 0);
    EXPECT_EQ(dev.Value(0x000D), 0);
}

TEST_F(VirtualTr640Test, SilentDeviceIgnoresEverything) {
    dev.SetSilent(true);
    Connect();
    Write(0x0104, 99);
    EXPECT_TRUE(replies.empty());
    EXPECT_FALSE(dev.KeyLearned());
    EXPECT_NE(dev.Value(0x0104), 99);
    EXPECT_EQ(dev.Stats().framesReceived, 2u);
    EXPECT_EQ(dev.Stats().framesIgnored, 2u);

    dev.SetSilent(false);
    Connect();
    EXPECT_EQ(replies.size(), 1u);
}

TEST_F(VirtualTr640Test, DroppedRepliesStillLeaveTheFrameActedOn) {
    Connect();
    dev.SetDropEveryNth(3);
    for (int i = 0; i < 7; ++i) Write(0x0104, 100 + i);
    EXPECT_EQ(replies.size(), 1u + 5u);  // replies 3 and 6 lost
    EXPECT_EQ(dev.Stats().repliesDropped, 2u);
    EXPECT_EQ(dev.Stats().framesAccepted, 8u);
    EXPECT_EQ(dev.Value(0x0104), 106);
}

TEST_F(VirtualTr640Test, DelayedRepliesComeOutInOrderAfterTheirTicks) {
    dev.SetReplyDelay(2);
    Connect();
    dev.Tick();
    Read(0x0100);
    EXPECT_TRUE(replies.empty());
    EXPECT_EQ(dev.PendingReplies(), 2u);
    dev.Tick();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0][5], 0xFF);

    // Lifting the delay does not let a new reply overtake one still held.
    dev.SetReplyDelay(0);
    Write(0x0104, 1);
    EXPECT_EQ(replies.size(), 1u);
    dev.Tick();
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[1][5], 0x39);
    EXPECT_EQ(replies[2][5], 0xFF);
    EXPECT_EQ(dev.Stats().repliesSent, 3u);
}

TEST_F(VirtualTr640Test, DuplicatedAndCorruptedReplies) {
    Connect();
    dev.SetDuplicateReplies(true);
    dev.SetCorruptEveryNth(2, 7, 0x04);  // accepting 0x0002 becomes 0x0006
    Write(0x0104, 1);
    Write(0x0104, 2);
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_EQ(replies[1], replies[2]);
    EXPECT_EQ(StatusOf(replies[1]), Dev::kStatusAccepted);
    EXPECT_EQ(StatusOf(replies[3]), proto::kStatusError);
    EXPECT_EQ(replies[3], replies[4]);
    EXPECT_NE(Sum(replies[3], replies[3].size()), 0u);  // the check byte no longer matches
    EXPECT_EQ(dev.Stats().repliesSent, 5u);

    dev.ClearFaults();
    Write(0x0104, 3);
    EXPECT_EQ(replies.size(), 6u);
    ExpectWellFormed(replies.back());
}

TEST_F(VirtualTr640Test, RefusedFramesChangeNothing) {
    Connect();
    dev.SetRefuseEveryNth(2);
    Write(0x0104, 11);
    Write(0x0104, 22);  // refused
    Read(0x0100);
    Write(0x000C, 1);   // refused: no recall
    EXPECT_EQ(dev.Value(0x0104), 11);
    EXPECT_EQ(StatusOf(replies[2]), proto::kStatusError);
    EXPECT_EQ(replies[3][5], 0x39);
    EXPECT_EQ(StatusOf(replies[4]), proto::kStatusError);
    EXPECT_EQ(dev.Stats().framesRejected, 2u);
    EXPECT_EQ(dev.WriteLog().size(), 1u);
    // The refused writes are on record as what they would have stored.
    using Record = VirtualTr640::WriteRecord;
    EXPECT_EQ(dev.RefusedLog(), (std::vector<Record>{{0x0104, 22}, {0x000C, 1}}));

    dev.SetRefuseEveryNth(1);
    Connect(LinkKey{9, 9, 9, 9, 9, 9});
    EXPECT_EQ(dev.Key(), kKey);
}

}  // namespace
}  // namespace tr640
