// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tr640 {

// Every frame travels in a 65-byte buffer: the HID report id and 64 bytes.
inline constexpr std::size_t kFrameBufferSize = 65;
using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;

// The six bytes that scramble bytes 2..7 of every CommandFrame and
// BlockFrame. All zero until the first connection, so scrambling is a no-op
// before then; a new key is made for every connection.
using LinkKey = std::array<std::uint8_t, 6>;

namespace proto {
inline constexpr std::uint8_t kDataReportId = 0x01;
inline constexpr std::uint8_t kKeyReportId = 0x02;
inline constexpr std::uint8_t kFrameMarker = 0x50;
inline constexpr std::uint8_t kDeviceTypeCode = 0x03;

inline constexpr std::uint8_t kCmdWrite = 0xA7;
inline constexpr std::uint8_t kCmdRead = 0xA0;

inline constexpr std::uint16_t kAddrBlockWrite = 0x0038;
inline constexpr std::uint16_t kAddrReadRequest = 0x0039;
inline constexpr std::uint16_t kAddrControl = 0x003A;
inline constexpr std::uint16_t kAddrStatus = 0x00FF;  // address of the device's status replies

inline constexpr std::uint8_t kCtlReadDone = 0x22;
inline constexpr std::uint8_t kCtlWriteDone = 0x33;
inline constexpr std::uint8_t kCtlKeepAlive = 0x66;

// Status codes of the device's status replies.
inline constexpr std::uint16_t kStatusAcceptedCodes[] = {0x0002, 0x0004, 0x0007, 0x0008};
inline constexpr std::uint16_t kStatusError = 0x0006;

// Byte layout shared by CommandFrame and BlockFrame.
inline constexpr std::size_t kScrambledFirst = 2;  // bytes 2..7 are XORed with the LinkKey
inline constexpr std::size_t kChecksumIndex = 29;  // bytes 0..29 sum to 0 mod 256
inline constexpr std::size_t kCommandLengthByte = 6;
inline constexpr std::size_t kBlockPayload = 20;    // the only block size in use
inline constexpr std::size_t kBlockDataSize = 22;   // page, first index, ten 16-bit values

// KeyFrame layout: the key at 4..9, its check copy at 10..15.
inline constexpr std::size_t kKeyOffset = 4;
inline constexpr std::size_t kKeyCheckOffset = 10;

// Fixed mask of the KeyFrame's check copy; the device knows it too.
inline constexpr std::uint8_t kKeyCheckMask = 0x5C;
// Fixed constant folded into the clock readings that make a LinkKey.
inline constexpr std::uint8_t kLinkKeyConstant = 0xA3;
}  // namespace proto

// A 16-bit quantity as the device expects it: high byte = (q div 256) mod 256,
// low byte = (q mod 256, sign of q) mod 256. Plain big-endian for 0..65535;
// negative values are not two's complement: -1 -> 00 FF, -256 -> FF 00.
struct WireWord {
    std::uint8_t high;
    std::uint8_t low;
};
WireWord EncodeWord(std::int32_t q);

// (0 - sum of bytes) mod 256: the value that makes the bytes sum to 0.
std::uint8_t NegatedSum(std::span<const std::uint8_t> bytes);

// Plain frames, checksummed but not yet scrambled. The filler bytes are zero.
FrameBuffer BuildCommandFrame(std::uint8_t command, std::int32_t address, std::int32_t value);
FrameBuffer BuildBlockFrame(std::uint8_t command, std::int32_t address, std::size_t payloadLength,
                            std::span<const std::uint8_t> blockData);
FrameBuffer BuildKeyFrame(const LinkKey& key);

// XORs bytes 2..7 with the key. Applying it twice restores the frame.
void ScrambleFrame(FrameBuffer& frame, const LinkKey& key);

// The local time of day, as the clock seam of MakeLinkKey reads it.
struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};
LinkKey MakeLinkKeyFrom(const TimeOfDay& now);

}  // namespace tr640
