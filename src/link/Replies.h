// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamStore.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tr640 {

// What one input report from the device turned out to be.
struct ReplyOutcome {
    enum class Kind {
        Ignored,         // not addressed to us, unknown address, too short
        ReadReply,       // parameter values for the device image
        StatusAccepted,  // the device took the last frame
        StatusError,     // the device reports an error in the last frame
        StatusOther,     // a status code we do not act on
    };
    Kind kind = Kind::Ignored;
    int valuesStored = 0;
    // The last byte of the report should make the report sum to zero. The
    // device's check byte need not sit in the last byte, so a mismatch is
    // reported but the reply is still acted on.
    bool checkMismatch = false;
    std::uint8_t expectedCheck = 0;
    std::uint8_t lastByte = 0;
};

// Reads one whole input report (report id first) and stores the values of
// a read reply into the device image. Every index is checked against the
// report's real length, whatever its length byte claims.
ReplyOutcome ParseReply(std::span<const std::uint8_t> reply, ParamStore& store);

// The address of the first value a read reply carries (page * 256 + first
// index), or nothing when the report is not a read reply.
std::optional<int> ReadReplyAddress(std::span<const std::uint8_t> reply);

}  // namespace tr640
