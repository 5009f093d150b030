// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Frames.h"

#include <algorithm>

namespace tr640 {

namespace {

void PutWord(FrameBuffer& frame, std::size_t at, std::int32_t q) {
    const WireWord w = EncodeWord(q);
    frame[at] = w.high;
    frame[at + 1] = w.low;
}

// Header, length byte, command and address: the start every data frame shares.
FrameBuffer StartDataFrame(std::uint8_t length, std::uint8_t command, std::int32_t address) {
    FrameBuffer frame{};
    frame[0] = proto::kDataReportId;
    frame[1] = proto::kFrameMarker;
    frame[2] = length;
    frame[3] = command;
    PutWord(frame, 4, address);
    return frame;
}

void PutChecksum(FrameBuffer& frame) {
    frame[proto::kChecksumIndex] = NegatedSum(std::span(frame).first(proto::kChecksumIndex));
}

}  // namespace

WireWord EncodeWord(std::int32_t q) {
    // The device's own encoding: both bytes come from truncating division and
    // remainder, each then taken modulo 256. Casting through uint8_t is that
    // modulo for negative numbers as well.
    return {static_cast<std::uint8_t>(q / 256), static_cast<std::uint8_t>(q % 256)};
}

std::uint8_t NegatedSum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(0u - sum);
}

FrameBuffer BuildCommandFrame(std::uint8_t command, std::int32_t address, std::int32_t value) {
    FrameBuffer frame = StartDataFrame(proto::kCommandLengthByte, command, address);
    PutWord(frame, 6, value);
    PutChecksum(frame);
    return frame;
}

FrameBuffer BuildBlockFrame(std::uint8_t command, std::int32_t address, std::size_t payloadLength,
                            std::span<const std::uint8_t> blockData) {
    FrameBuffer frame = StartDataFrame(static_cast<std::uint8_t>(payloadLength + 4), command, address);
    // Bytes 6..28: as much of the block data as fits before the checksum.
    constexpr std::size_t kBlockRoom = proto::kChecksumIndex - 6;
    const std::size_t n = std::min(blockData.size(), kBlockRoom);
    std::copy_n(blockData.begin(), n, frame.begin() + 6);
    PutChecksum(frame);
    return frame;
}

FrameBuffer BuildKeyFrame(const LinkKey& key) {
    FrameBuffer frame{};
    frame[0] = proto::kKeyReportId;
    frame[1] = 0x01;
    frame[2] = proto::kFrameMarker;
    frame[3] = proto::kDeviceTypeCode;
    for (std::size_t i = 0; i < key.size(); ++i) {
        frame[proto::kKeyOffset + i] = key[i];
        frame[proto::kKeyCheckOffset + i] =
            static_cast<std::uint8_t>(key[i] ^ proto::kKeyCheckMask ^ static_cast<std::uint8_t>(i));
    }
    return frame;
}

void ScrambleFrame(FrameBuffer& frame, const LinkKey& key) {
    for (std::size_t i = 0; i < key.size(); ++i) frame[proto::kScrambledFirst + i] ^= key[i];
}

LinkKey MakeLinkKeyFrom(const TimeOfDay& now) {
    auto fold = [](int field) { return static_cast<std::uint8_t>((field & 0xFF) ^ proto::kLinkKeyConstant); };
    const std::uint8_t ms = fold(now.millisecond);
    return {fold(now.hour), fold(now.minute), fold(now.second), ms, ms, ms};
}

}  // namespace tr640
