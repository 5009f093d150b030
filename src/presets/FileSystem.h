// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Preset files: a snapshot of the parameter values kept on the computer as
// text lines of scrambled hexadecimal digits (".Nddt" files).
//
// Clear lines, by line index L:
//   0          "VELK38 "  + (product id XOR header mask)
//   1          "QORNIS "  + (device type code XOR header mask)
//   2 .. N+1   (address XOR L) " " (value XOR L)     one parameter each
//   N+2        "Intoal: " + (N + 2)                  index of this line
//   N+3        "CCCCK: "  + checksum of the values
// Every number is the decimal form of a signed 32-bit integer. On disk each
// clear byte at position i becomes two upper-case hex digits of
// (byte XOR kPresetLineKey[i % 8]); lines end with CR LF.

#include "model/ParamStore.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tr640 {

// The line key and the header mask are part of the file format: every copy
// of the program, past and future, must use exactly these bytes or it can no
// longer read the files that users already keep. Never change them.
inline constexpr std::array<std::uint8_t, 8> kPresetLineKey = {0x5A, 0x3C, 0xA7, 0x19, 0xE4, 0x62, 0xB8, 0x0D};
inline constexpr std::uint8_t kPresetHeaderMask = 0x6D;

// Identity that the two header lines tie a file to.
inline constexpr std::int32_t kPresetProductId = 0x6912;
inline constexpr std::int32_t kPresetDeviceType = 3;

// A file written by this program: two header lines, 16 values of page 0,
// 84 values of page 1, the line index and the checksum.
inline constexpr int kPresetLineCount = 104;

enum class PresetOutcome {
    Accepted,         // values stored into the device image
    WrongDeviceType,  // header lines name another product or device type
    Damaged,          // trailer's line index or checksum does not match
    Error,            // a line could not be decoded or parsed; see message
};

struct PresetReadResult {
    PresetOutcome outcome = PresetOutcome::Error;
    // Set only for PresetOutcome::Error: what could not be converted, and
    // on which line (counted from 0).
    std::string message;
    // Data lines whose address lies outside the device image; they are
    // dropped even when the file is accepted.
    int skippedLines = 0;
};

// ((sum XOR 0xFFFF) + 1) rem 256, the remainder taking the sign of the
// dividend: 0 .. 255 for sum >= 0, -255 .. 0 for most negative sums.
std::int32_t PresetChecksum(std::int32_t sum);

// Clear text -> disk form (two upper-case hex digits per byte) and back.
// Unscrambling accepts either letter case and ignores a single leftover
// character; it returns false and names the offending pair in `error` when
// a pair is not hexadecimal.
std::string ScrambleLine(std::string_view clear);
bool UnscrambleLine(std::string_view disk, std::string& clear, std::string& error);

// The file's scrambled lines, in file order, from the store's shown image.
std::vector<std::string> WritePresetLines(const ParamStore& store);

// File bytes from lines: each line followed by CR LF.
std::string JoinPresetLines(const std::vector<std::string>& lines);

// Lines from file bytes. A line ends at LF (a CR before it is dropped, as is
// a stray CR at the very end). A line ending at the end of the bytes starts
// no further line, so SplitPresetLines undoes JoinPresetLines; an empty line
// at the end is a line of its own, so a file ending in one is not accepted.
std::vector<std::string> SplitPresetLines(std::string_view bytes);

// Checks the whole file and, only when it is accepted, stores its values into
// the store's device image; any other outcome leaves the store untouched.
// Data lines may come in any order and number; the words before the first
// space of the header and trailer lines are never looked at.
// A number field must be an optional '-' followed by decimal digits (leading
// zeros allowed) whose value fits a signed 32-bit integer. A '+', blanks,
// an empty field or anything else is an error, so a hand-edited file cannot
// be read as something other than what it says.
PresetReadResult ReadPresetLines(const std::vector<std::string>& lines, ParamStore& store);

}  // namespace tr640
