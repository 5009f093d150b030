// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Replies.h"

#include "link/Frames.h"
#include "model/ParamAddress.h"

#include <algorithm>

namespace tr640 {

namespace {

constexpr std::size_t kAddrHighByte = 4;
constexpr std::size_t kAddrLowByte = 5;
constexpr std::size_t kPageByte = 6;
constexpr std::size_t kFirstIndexByte = 7;
constexpr std::size_t kFirstValueByte = 8;

bool IsAcceptingCode(int code) {
    const auto& codes = proto::kStatusAcceptedCodes;
    return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

int StoreReadReply(std::span<const std::uint8_t> reply, ParamStore& store) {
    if (reply.size() <= kFirstIndexByte) return 0;
    const int page = reply[kPageByte];
    const int first = reply[kFirstIndexByte];
    const int count = (static_cast<int>(reply[2]) - 6) / 2;
    int stored = 0;
    for (int j = 0; j < count; ++j) {
        const std::size_t high = kFirstValueByte + 2 * static_cast<std::size_t>(j);
        if (high + 1 >= reply.size()) break;  // the value's bytes are not both in the report
        if (first + j >= kDeviceIndexLimit) break;
        if (store.SetDevice(page, first + j, reply[high] * 256 + reply[high + 1])) ++stored;
    }
    return stored;
}

}  // namespace

std::optional<int> ReadReplyAddress(std::span<const std::uint8_t> reply) {
    if (reply.size() <= kFirstIndexByte || reply[kAddrHighByte] != 0 || reply[kAddrLowByte] != proto::kAddrReadRequest)
        return std::nullopt;
    return MakeAddress(reply[kPageByte], reply[kFirstIndexByte]);
}

ReplyOutcome ParseReply(std::span<const std::uint8_t> reply, ParamStore& store) {
    ReplyOutcome out;
    if (reply.empty()) return out;

    out.lastByte = reply.back();
    out.expectedCheck = NegatedSum(reply.first(reply.size() - 1));
    out.checkMismatch = out.expectedCheck != out.lastByte;

    if (reply.size() <= kAddrLowByte || reply[kAddrHighByte] != 0) return out;

    switch (reply[kAddrLowByte]) {
    case proto::kAddrReadRequest:
        out.kind = ReplyOutcome::Kind::ReadReply;
        out.valuesStored = StoreReadReply(reply, store);
        break;
    case proto::kAddrStatus & 0xFF: {
        if (reply.size() <= kFirstIndexByte) break;
        const int code = reply[6] * 256 + reply[7];
        if (IsAcceptingCode(code)) {
            out.kind = ReplyOutcome::Kind::StatusAccepted;
        } else if (code == proto::kStatusError) {
            out.kind = ReplyOutcome::Kind::StatusError;
        } else {
            out.kind = ReplyOutcome::Kind::StatusOther;
        }
        break;
    }
    default:
        break;
    }
    return out;
}

}  // namespace tr640
