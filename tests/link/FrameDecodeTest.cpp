// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/FrameDecode.h"
#include "link/Frames.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <vector>

namespace tr640 {
namespace {

constexpr LinkKey kKey = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

FrameBuffer Scrambled(FrameBuffer frame) {
    ScrambleFrame(frame, kKey);
    return frame;
}

TEST(FrameDecode, LearnsTheKeyAndUnscramblesTheFramesAfterIt) {
    const FrameBuffer write = Scrambled(BuildCommandFrame(proto::kCmdWrite, 0x0134, 80));
    // Without the key the plain bytes do not sum to zero.
    EXPECT_FALSE(FrameDecoder().Decode(write, FrameDirection::ToUnit).checkOk);

    FrameDecoder decoder;
    const DecodedFrame key = decoder.Decode(BuildKeyFrame(kKey), FrameDirection::ToUnit);
    EXPECT_EQ(key.kind, FrameKind::Key);
    EXPECT_EQ(DescribeFrame(key), "key key=112233445566");

    const DecodedFrame w = decoder.Decode(write, FrameDirection::ToUnit);
    EXPECT_EQ(w.kind, FrameKind::Write);
    EXPECT_EQ(w.address, 0x0134);
    EXPECT_EQ(w.value, 80);
    EXPECT_EQ(DescribeFrame(w), "write addr=0x0134 name=mic1.volume value=80");

    const FrameBuffer keepAlive = Scrambled(BuildCommandFrame(proto::kCmdWrite, proto::kAddrControl, 0x66));
    EXPECT_EQ(DescribeFrame(decoder.Decode(keepAlive, FrameDirection::ToUnit)), "control addr=0x003A code=keep-alive");
    const FrameBuffer request = Scrambled(BuildCommandFrame(proto::kCmdRead, proto::kAddrReadRequest, 0x010A));
    EXPECT_EQ(DescribeFrame(decoder.Decode(request, FrameDirection::ToUnit)), "read-request addr=0x0039 from=0x010A");

    std::vector<std::uint8_t> block = {1, 80};
    for (int v = 0; v < 10; ++v) block.insert(block.end(), {0, static_cast<std::uint8_t>(v)});
    const FrameBuffer b = Scrambled(BuildBlockFrame(proto::kCmdWrite, proto::kAddrBlockWrite, 20, block));
    EXPECT_EQ(DescribeFrame(decoder.Decode(b, FrameDirection::ToUnit)),
              "block-write addr=0x0038 page=1 first=80 values=0,1,2,3,4,5,6,7,8,9");
}

TEST(FrameDecode, TheUnitsRepliesAsTheyComeBack) {
    VirtualTr640 unit;
    std::vector<std::vector<std::uint8_t>> replies;
    unit.SetReplySink([&](std::span<const std::uint8_t> r) { replies.emplace_back(r.begin(), r.end()); });
    unit.ReceiveOutputReport(BuildKeyFrame(kKey));
    unit.ReceiveOutputReport(Scrambled(BuildCommandFrame(proto::kCmdRead, proto::kAddrReadRequest, 0x0134)));
    unit.SetRefuseEveryNth(1);
    unit.ReceiveOutputReport(Scrambled(BuildCommandFrame(proto::kCmdWrite, 0x0134, 80)));
    ASSERT_EQ(replies.size(), 3u);

    FrameDecoder decoder;
    const DecodedFrame accepted = decoder.Decode(replies[0], FrameDirection::FromUnit);
    EXPECT_EQ(accepted.status, ReplyStatus::Accepted);
    EXPECT_EQ(DescribeFrame(accepted), "status addr=0x00FF cmd=0xA7 code=0x0002 status=accepted");
    const DecodedFrame read = decoder.Decode(replies[1], FrameDirection::FromUnit);
    EXPECT_EQ(read.kind, FrameKind::ReadReply);
    EXPECT_EQ(read.first, 0x34);
    ASSERT_EQ(read.values.size(), 10u);
    EXPECT_EQ(read.values[0], unit.Value(0x0134));
    EXPECT_TRUE(read.checkOk);
    EXPECT_EQ(decoder.Decode(replies[2], FrameDirection::FromUnit).status, ReplyStatus::Error);
}

TEST(FrameDecode, GarbledReportsAreNamedNotTrusted) {
    FrameDecoder decoder;
    std::vector<std::uint8_t> reply(65, 0);
    reply[0] = proto::kDataReportId;
    reply[1] = proto::kFrameMarker;
    reply[2] = 6;
    reply[5] = 0xFF;
    reply[7] = 0x02;
    EXPECT_EQ(DescribeFrame(decoder.Decode(reply, FrameDirection::FromUnit)),
              "status addr=0x00FF cmd=0x00 code=0x0002 status=accepted check=bad");

    EXPECT_EQ(DescribeFrame(decoder.Decode(std::vector<std::uint8_t>{0x01, 0x50, 0x06}, FrameDirection::FromUnit)),
              "unknown fault=too-short");
    reply[1] = 0x51;
    EXPECT_EQ(DescribeFrame(decoder.Decode(reply, FrameDirection::FromUnit)), "unknown fault=no-marker");
    EXPECT_EQ(DescribeFrame(decoder.Decode({}, FrameDirection::ToUnit)), "unknown fault=empty");
    FrameBuffer odd = BuildCommandFrame(0x55, 0x0134, 1);
    EXPECT_EQ(DescribeFrame(decoder.Decode(odd, FrameDirection::ToUnit)), "unknown fault=command cmd=0x55 addr=0x0134");
    odd[0] = 0x07;
    EXPECT_EQ(decoder.Decode(odd, FrameDirection::ToUnit).fault, FrameFault::UnknownReportId);
}

}  // namespace
}  // namespace tr640
