// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/Frames.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tr640 {

// Which way a report went over the USB link.
enum class FrameDirection {
    ToUnit,    // an output report the program wrote
    FromUnit,  // an input report the unit sent
};

// What one report turned out to be.
enum class FrameKind {
    Key,          // the link key of a new connection
    Write,        // one value written to one address
    Read,         // a read command to an address other than the read request's
    ReadRequest,  // asks for the ten values from an address on
    BlockWrite,   // ten values of one page, from a first index on
    Control,      // a control code: read done, write done, keep-alive
    Status,       // the unit's status reply to the last frame
    ReadReply,    // the values the unit read
    Reply,        // a reply of the unit at some other address
    Unknown,      // nothing this program sends or the unit answers
};

// The unit's verdict in a status reply.
enum class ReplyStatus {
    None,      // not a status reply
    Accepted,  // one of the accepting codes
    Error,     // the error code: the unit refused the last frame
    Other,     // a code the link does not act on
};

// Why a report is of kind Unknown.
enum class FrameFault {
    None,
    Empty,            // no bytes at all
    TooShort,         // ends before the fields its kind needs
    UnknownReportId,  // neither the data report nor (to the unit) the key report
    NoMarker,         // the frame marker is missing
    UnknownCommand,   // neither the write nor the read command
};

// One report taken apart. Fields a kind does not have keep their defaults.
struct DecodedFrame {
    FrameDirection direction = FrameDirection::ToUnit;
    FrameKind kind = FrameKind::Unknown;
    FrameFault fault = FrameFault::None;
    // False when the report's check byte does not make its bytes sum to 0;
    // a key frame has no check byte but a check copy of its key, and a
    // wrong copy counts the same.
    bool checkOk = true;
    std::uint8_t command = 0;
    int address = -1;  // the 16-bit address field, unscrambled; -1 when there is none
    // Write: the value as the wire carries it (0 .. 65535). Control: the
    // code. ReadRequest: the address of the first value asked for. Status:
    // the status code.
    int value = 0;
    ReplyStatus status = ReplyStatus::None;
    // BlockWrite and ReadReply: where the values belong, and the values.
    int page = 0;
    int first = 0;
    std::vector<int> values;
    LinkKey key{};  // Key
};

// Takes the reports of one connection apart in the order they went over
// the link. Frames to the unit are scrambled with the connection's key, which
// travels in the key frame: the decoder learns it from every key frame it is
// shown and unscrambles what follows with it. The unit's replies are never
// scrambled. Nothing it is shown makes it fail: what it cannot make sense of
// comes back as Unknown with the fault.
class FrameDecoder {
public:
    DecodedFrame Decode(std::span<const std::uint8_t> report, FrameDirection direction);
    const LinkKey& Key() const { return key_; }

private:
    DecodedFrame DecodeToUnit(std::span<const std::uint8_t> report);
    DecodedFrame DecodeFromUnit(std::span<const std::uint8_t> report);

    LinkKey key_{};
};

// One line of text: the kind as one word, then its fields as name=value
// without spaces, in a fixed order:
//   key key=A1B2C3D4E5F6
//   write addr=0x0134 name=mic1.volume value=80
//   status addr=0x00FF cmd=0xA7 code=0x0002 status=accepted
//   unknown fault=no-marker
// A checksum fault adds "check=bad" at the end. Parameter names come from
// the catalogue; an address without one has no name field.
std::string DescribeFrame(const DecodedFrame& frame);

}  // namespace tr640
