// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/FrameSender.h"
#include "link/Frames.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace tr640 {
namespace {

std::vector<std::uint8_t> Bytes(const FrameBuffer& f, std::size_t from, std::size_t to) {
    return {f.begin() + from, f.begin() + to};
}

unsigned SumMod256(const FrameBuffer& f, std::size_t last) {
    return std::accumulate(f.begin(), f.begin() + last + 1, 0u) % 256;
}

// Records what the frame layer hands to the transport.
class RecordingTransport : public ReportTransport {
public:
    bool selected = true;
    std::size_t outputLength = 65;
    std::vector<std::vector<std::uint8_t>> reports;
    std::vector<std::string> log;

    bool IsDeviceSelected() const override { return selected; }
    std::size_t OutputReportLength() const override { return outputLength; }
    void WriteReport(std::span<const std::uint8_t> report) override { reports.emplace_back(report.begin(), report.end()); }
    void Log(const std::string& line) override { log.push_back(line); }
};

TEST(WireWord, PositiveValuesAreBigEndianNegativesKeepTheDeviceEncoding) {
    EXPECT_EQ(EncodeWord(0x1234).high, 0x12);
    EXPECT_EQ(EncodeWord(0x1234).low, 0x34);
    EXPECT_EQ(EncodeWord(65535).high, 0xFF);
    EXPECT_EQ(EncodeWord(65535).low, 0xFF);
    // Not two's complement: -1 is 00 FF and -256 is FF 00.
    EXPECT_EQ(EncodeWord(-1).high, 0x00);
    EXPECT_EQ(EncodeWord(-1).low, 0xFF);
    EXPECT_EQ(EncodeWord(-256).high, 0xFF);
    EXPECT_EQ(EncodeWord(-256).low, 0x00);
    EXPECT_EQ(EncodeWord(-300).high, 0xFF);  // -300 div 256 = -1, -300 mod 256 = -44
    EXPECT_EQ(EncodeWord(-300).low, 0xD4);
}

TEST(CommandFrame, WriteOfOneParameterByteForByte) {
    const FrameBuffer f = BuildCommandFrame(proto::kCmdWrite, 0x010A, 0x1234);
    EXPECT_EQ(Bytes(f, 0, 8), (std::vector<std::uint8_t>{0x01, 0x50, 0x06, 0xA7, 0x01, 0x0A, 0x12, 0x34}));
    EXPECT_EQ(f[29], 0xB1);
    EXPECT_EQ(SumMod256(f, 29), 0u);
    for (std::size_t i = 30; i < f.size(); ++i) EXPECT_EQ(f[i], 0) << i;
}

TEST(CommandFrame, KeepAlivePollAndNegativeValue) {
    const FrameBuffer keepAlive = BuildCommandFrame(proto::kCmdWrite, proto::kAddrControl, proto::kCtlKeepAlive);
    EXPECT_EQ(Bytes(keepAlive, 0, 8), (std::vector<std::uint8_t>{0x01, 0x50, 0x06, 0xA7, 0x00, 0x3A, 0x00, 0x66}));
    EXPECT_EQ(keepAlive[29], 0x62);

    const FrameBuffer minusOne = BuildCommandFrame(proto::kCmdWrite, 0x0102, -1);
    EXPECT_EQ(minusOne[6], 0x00);
    EXPECT_EQ(minusOne[7], 0xFF);
}

TEST(Scrambling, XorsBytesTwoToSevenAfterTheChecksumAndUndoesItself) {
    const LinkKey key{0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    const FrameBuffer plain = BuildCommandFrame(proto::kCmdWrite, 0x010A, 0x1234);
    FrameBuffer f = plain;
    ScrambleFrame(f, key);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(f[2 + i], plain[2 + i] ^ key[i]);
    EXPECT_EQ(Bytes(f, 8, 65), Bytes(plain, 8, 65));  // checksum and filler untouched
    EXPECT_EQ(f[0], plain[0]);
    EXPECT_EQ(f[1], plain[1]);

    // A receiver that undoes the scrambling finds bytes 0..29 summing to zero.
    ScrambleFrame(f, key);
    EXPECT_EQ(f, plain);
    EXPECT_EQ(SumMod256(f, 29), 0u);

    FrameBuffer unkeyed = plain;
    ScrambleFrame(unkeyed, LinkKey{});
    EXPECT_EQ(unkeyed, plain);
}

TEST(BlockFrame, CarriesPageIndexAndTenValuesWithTheChecksumOverTheFiller) {
    std::vector<std::uint8_t> block(proto::kBlockDataSize + 1, 0);
    block[0] = 1;
    block[1] = 80;
    for (int i = 0; i < 10; ++i) block[2 + 2 * i + 1] = static_cast<std::uint8_t>(i + 1);
    block[22] = 0x99;  // a byte past the values lands in the filler byte 28
    const FrameBuffer f = BuildBlockFrame(proto::kCmdWrite, proto::kAddrBlockWrite, proto::kBlockPayload, block);
    EXPECT_EQ(Bytes(f, 0, 8), (std::vector<std::uint8_t>{0x01, 0x50, 24, 0xA7, 0x00, 0x38, 1, 80}));
    EXPECT_EQ(f[9], 1);
    EXPECT_EQ(f[27], 10);
    EXPECT_EQ(f[28], 0x99);
    EXPECT_EQ(SumMod256(f, 29), 0u);
}

TEST(BlockFrame, ShortBlockDataIsNeverReadPastItsEnd) {
    const std::vector<std::uint8_t> block{1, 0, 0xAB};
    const FrameBuffer f = BuildBlockFrame(proto::kCmdWrite, proto::kAddrBlockWrite, proto::kBlockPayload, block);
    EXPECT_EQ(f[8], 0xAB);
    EXPECT_EQ(f[9], 0);
    EXPECT_EQ(SumMod256(f, 29), 0u);
}

TEST(KeyFrame, CarriesTheKeyAndItsMaskedCheckCopyUnscrambled) {
    const LinkKey key{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
    const FrameBuffer f = BuildKeyFrame(key);
    EXPECT_EQ(Bytes(f, 0, 4), (std::vector<std::uint8_t>{0x02, 0x01, 0x50, 0x03}));
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(f[4 + i], key[i]);
        EXPECT_EQ(f[10 + i], key[i] ^ proto::kKeyCheckMask ^ i);
    }
    for (std::size_t i = 16; i < f.size(); ++i) EXPECT_EQ(f[i], 0) << i;
}

TEST(LinkKey, FoldsTheTimeOfDayWithTheLinkConstant) {
    const LinkKey key = MakeLinkKeyFrom({13, 45, 7, 0x1F4});  // 500 ms: low byte 0xF4
    const std::uint8_t c = proto::kLinkKeyConstant;
    EXPECT_EQ(key, (LinkKey{std::uint8_t(13 ^ c), std::uint8_t(45 ^ c), std::uint8_t(7 ^ c), std::uint8_t(0xF4 ^ c),
                            std::uint8_t(0xF4 ^ c), std::uint8_t(0xF4 ^ c)}));
}

class FrameSenderTest : public ::testing::Test {
protected:
    RecordingTransport transport;
    FrameSender sender{transport, [] { return TimeOfDay{1, 2, 3, 4}; }};
};

TEST_F(FrameSenderTest, KeyIsZeroUntilTheFirstConnectionSoFramesGoOutPlain) {
    EXPECT_EQ(sender.Key(), LinkKey{});
    sender.SendCommand(proto::kCmdWrite, 0x010A, 0x1234);
    ASSERT_EQ(transport.reports.size(), 1u);
    EXPECT_EQ(transport.reports[0][3], 0xA7);
    EXPECT_EQ(transport.reports[0].size(), 65u);
}

TEST_F(FrameSenderTest, SendsScrambledWithTheKeyFromTheClockAndControlCodesToTheControlAddress) {
    sender.MakeLinkKey();
    EXPECT_EQ(sender.Key(), MakeLinkKeyFrom({1, 2, 3, 4}));
    sender.SendControl(proto::kCtlReadDone);
    ASSERT_EQ(transport.reports.size(), 1u);
    FrameBuffer got{};
    std::copy(transport.reports[0].begin(), transport.reports[0].end(), got.begin());
    ScrambleFrame(got, sender.Key());
    EXPECT_EQ(got, BuildCommandFrame(proto::kCmdWrite, proto::kAddrControl, proto::kCtlReadDone));

    sender.SendKeyFrame();
    ASSERT_EQ(transport.reports.size(), 2u);
    EXPECT_EQ(transport.reports[1][0], proto::kKeyReportId);
    EXPECT_EQ(transport.reports[1][4], sender.Key()[0]);
}

TEST_F(FrameSenderTest, WritesExactlyTheOutputReportLength) {
    transport.outputLength = 33;
    sender.SendKeyFrame();
    ASSERT_EQ(transport.reports.size(), 1u);
    EXPECT_EQ(transport.reports[0].size(), 33u);
}

TEST_F(FrameSenderTest, NoSelectedDeviceLeavesNoTrace) {
    transport.selected = false;
    sender.SendCommand(proto::kCmdWrite, 0x0102, 3);
    sender.SendKeyFrame();
    sender.SendControl(proto::kCtlKeepAlive);
    EXPECT_TRUE(transport.reports.empty());
    EXPECT_TRUE(transport.log.empty());
}

TEST_F(FrameSenderTest, ReportLongerThanTheFrameBufferIsRefusedAndLogged) {
    transport.outputLength = 129;
    sender.SendControl(proto::kCtlKeepAlive);
    EXPECT_TRUE(transport.reports.empty());
    ASSERT_EQ(transport.log.size(), 1u);
    EXPECT_NE(transport.log[0].find("129"), std::string::npos);
}

}  // namespace
}  // namespace tr640
