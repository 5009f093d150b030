// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/FrameDecode.h"

#include "model/ParamCatalogue.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>

namespace tr640 {

namespace {

// A data frame to the unit reaches its check byte, 29.
constexpr std::size_t kDataFrameMinimum = proto::kChecksumIndex + 1;
// A key frame reaches the end of its check copy.
constexpr std::size_t kKeyFrameMinimum = proto::kKeyCheckOffset + 6;
// A reply reaches its address; a status or read reply its two data bytes.
constexpr std::size_t kReplyAddressEnd = 6;
constexpr std::size_t kReplyDataEnd = 8;
// Block values sit in bytes 8 .. 27, before the filler byte and the check.
constexpr std::size_t kFirstValueByte = 8;
constexpr std::size_t kBlockValuesEnd = proto::kChecksumIndex - 1;

bool SumsToZero(std::span<const std::uint8_t> bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), 0u) % 256 == 0;
}

int Word(std::uint8_t high, std::uint8_t low) { return high << 8 | low; }

// Big-endian values from `from` on, as long as both bytes lie before `end`.
std::vector<int> WordsFrom(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t end, int count) {
    std::vector<int> words;
    end = std::min(end, bytes.size());
    for (int j = 0; j < count; ++j) {
        const std::size_t high = from + 2 * static_cast<std::size_t>(j);
        if (high + 1 >= end) break;
        words.push_back(Word(bytes[high], bytes[high + 1]));
    }
    return words;
}

DecodedFrame Faulty(FrameDirection direction, FrameFault fault) {
    DecodedFrame frame;
    frame.direction = direction;
    frame.fault = fault;
    return frame;
}

ReplyStatus StatusOf(int code) {
    const auto& accepted = proto::kStatusAcceptedCodes;
    if (std::find(std::begin(accepted), std::end(accepted), code) != std::end(accepted)) return ReplyStatus::Accepted;
    return code == proto::kStatusError ? ReplyStatus::Error : ReplyStatus::Other;
}

std::string Hex(unsigned value, int digits) {
    char text[12];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string Joined(const std::vector<int>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) text += ',';
        text += std::to_string(values[i]);
    }
    return text;
}

// Every name at the address: a band's type and bypass share one slot.
std::string NamesAt(int address) {
    std::string names;
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.address != address) continue;
        if (!names.empty()) names += ',';
        names += e.name;
    }
    return names;
}

const char* FaultWord(FrameFault fault) {
    switch (fault) {
    case FrameFault::None: return "none";
    case FrameFault::Empty: return "empty";
    case FrameFault::TooShort: return "too-short";
    case FrameFault::UnknownReportId: return "report-id";
    case FrameFault::NoMarker: return "no-marker";
    case FrameFault::UnknownCommand: return "command";
    }
    return "none";
}

const char* StatusWord(ReplyStatus status) {
    switch (status) {
    case ReplyStatus::Accepted: return "accepted";
    case ReplyStatus::Error: return "error";
    case ReplyStatus::Other:
    case ReplyStatus::None: break;
    }
    return "other";
}

std::string ControlWord(int code) {
    switch (code) {
    case proto::kCtlReadDone: return "read-done";
    case proto::kCtlWriteDone: return "write-done";
    case proto::kCtlKeepAlive: return "keep-alive";
    default: return Hex(static_cast<unsigned>(code), 4);
    }
}

}  // namespace

DecodedFrame FrameDecoder::Decode(std::span<const std::uint8_t> report, FrameDirection direction) {
    if (report.empty()) return Faulty(direction, FrameFault::Empty);
    return direction == FrameDirection::ToUnit ? DecodeToUnit(report) : DecodeFromUnit(report);
}

DecodedFrame FrameDecoder::DecodeToUnit(std::span<const std::uint8_t> report) {
    const FrameDirection to = FrameDirection::ToUnit;
    if (report[0] == proto::kKeyReportId) {
        if (report.size() < kKeyFrameMinimum) return Faulty(to, FrameFault::TooShort);
        if (report[2] != proto::kFrameMarker) return Faulty(to, FrameFault::NoMarker);
        DecodedFrame frame;
        frame.kind = FrameKind::Key;
        for (std::size_t i = 0; i < frame.key.size(); ++i) {
            frame.key[i] = report[proto::kKeyOffset + i];
            const auto copy = static_cast<std::uint8_t>(frame.key[i] ^ proto::kKeyCheckMask ^ i);
            frame.checkOk = frame.checkOk && report[proto::kKeyCheckOffset + i] == copy;
        }
        // The program scrambles everything after this frame with this key,
        // whether the unit takes the frame or not.
        key_ = frame.key;
        return frame;
    }
    if (report[0] != proto::kDataReportId) return Faulty(to, FrameFault::UnknownReportId);
    if (report.size() < kDataFrameMinimum) return Faulty(to, FrameFault::TooShort);
    if (report[1] != proto::kFrameMarker) return Faulty(to, FrameFault::NoMarker);

    // The checksum was made over the plain bytes, before the scrambling.
    std::array<std::uint8_t, kDataFrameMinimum> plain{};
    std::copy_n(report.begin(), plain.size(), plain.begin());
    for (std::size_t i = 0; i < key_.size(); ++i) plain[proto::kScrambledFirst + i] ^= key_[i];

    DecodedFrame frame;
    frame.checkOk = SumsToZero(plain);
    frame.command = plain[3];
    frame.address = Word(plain[4], plain[5]);
    frame.value = Word(plain[6], plain[7]);
    if (frame.command == proto::kCmdRead) {
        frame.kind = frame.address == proto::kAddrReadRequest ? FrameKind::ReadRequest : FrameKind::Read;
    } else if (frame.command != proto::kCmdWrite) {
        frame.fault = FrameFault::UnknownCommand;
    } else if (frame.address == proto::kAddrBlockWrite) {
        // The page and first index ride where a command frame has its value;
        // the length byte counts command, address, the values and the check.
        frame.kind = FrameKind::BlockWrite;
        frame.page = plain[6];
        frame.first = plain[7];
        frame.value = 0;
        frame.values = WordsFrom(plain, kFirstValueByte, kBlockValuesEnd, std::max(0, (plain[2] - 4) / 2));
    } else {
        frame.kind = frame.address == proto::kAddrControl ? FrameKind::Control : FrameKind::Write;
    }
    return frame;
}

DecodedFrame FrameDecoder::DecodeFromUnit(std::span<const std::uint8_t> report) {
    const FrameDirection from = FrameDirection::FromUnit;
    if (report[0] != proto::kDataReportId) return Faulty(from, FrameFault::UnknownReportId);
    if (report.size() < kReplyAddressEnd) return Faulty(from, FrameFault::TooShort);
    if (report[1] != proto::kFrameMarker) return Faulty(from, FrameFault::NoMarker);

    DecodedFrame frame;
    frame.direction = from;
    frame.command = report[3];
    frame.address = Word(report[4], report[5]);
    // The unit puts its check byte where its length byte says; the link
    // checks the last byte of the report. Either reading that holds will do.
    const std::size_t checkAt = 2 + static_cast<std::size_t>(report[2]);
    frame.checkOk = (checkAt < report.size() && SumsToZero(report.first(checkAt + 1))) || SumsToZero(report);

    const bool status = frame.address == proto::kAddrStatus;
    const bool readReply = frame.address == proto::kAddrReadRequest;
    if (!status && !readReply) {
        frame.kind = FrameKind::Reply;
        return frame;
    }
    if (report.size() < kReplyDataEnd) return Faulty(from, FrameFault::TooShort);
    if (status) {
        frame.kind = FrameKind::Status;
        frame.value = Word(report[6], report[7]);
        frame.status = StatusOf(frame.value);
        return frame;
    }
    frame.kind = FrameKind::ReadReply;
    frame.page = report[6];
    frame.first = report[7];
    // Its length byte counts command, address, page, first index, the values
    // and the check byte.
    frame.values = WordsFrom(report, kFirstValueByte, report.size(), std::max(0, (report[2] - 6) / 2));
    return frame;
}

std::string DescribeFrame(const DecodedFrame& f) {
    const std::string addr = f.address >= 0 ? " addr=" + Hex(static_cast<unsigned>(f.address), 4) : "";
    const std::string cmd = " cmd=" + Hex(f.command, 2);
    std::string text;
    switch (f.kind) {
    case FrameKind::Key: {
        text = "key key=";
        static constexpr char kDigits[] = "0123456789ABCDEF";
        for (std::uint8_t b : f.key) text += {kDigits[b >> 4], kDigits[b & 0x0F]};
        break;
    }
    case FrameKind::Write: {
        const std::string names = NamesAt(f.address);
        text = "write" + addr + (names.empty() ? "" : " name=" + names) + " value=" + std::to_string(f.value);
        break;
    }
    case FrameKind::Read: text = "read" + addr + " value=" + std::to_string(f.value); break;
    case FrameKind::ReadRequest:
        text = "read-request" + addr + " from=" + Hex(static_cast<unsigned>(f.value), 4);
        break;
    case FrameKind::BlockWrite:
        text = "block-write" + addr + " page=" + std::to_string(f.page) + " first=" + std::to_string(f.first) +
               " values=" + Joined(f.values);
        break;
    case FrameKind::Control: text = "control" + addr + " code=" + ControlWord(f.value); break;
    case FrameKind::Status:
        text = "status" + addr + cmd + " code=" + Hex(static_cast<unsigned>(f.value), 4) +
               " status=" + StatusWord(f.status);
        break;
    case FrameKind::ReadReply:
        text = "read-reply" + addr + cmd + " page=" + std::to_string(f.page) + " first=" + std::to_string(f.first) +
               " values=" + Joined(f.values);
        break;
    case FrameKind::Reply: text = "reply" + addr + cmd; break;
    case FrameKind::Unknown:
        text = std::string("unknown fault=") + FaultWord(f.fault);
        if (f.fault == FrameFault::UnknownCommand) text += cmd + addr;
        break;
    }
    if (!f.checkOk) text += " check=bad";
    return text;
}

}  // namespace tr640
