// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/Frames.h"
#include "link/ReportTransport.h"

#include <functional>

namespace tr640 {

// Builds, scrambles and writes the three frames. Holds the LinkKey of the
// current connection and nothing else: pacing, acknowledgement and retries
// belong to the link above it.
class FrameSender {
public:
    using Clock = std::function<TimeOfDay()>;

    explicit FrameSender(ReportTransport& transport, Clock clock = LocalTimeOfDay);

    // A fresh key for a new connection, made from the clock.
    void MakeLinkKey();
    const LinkKey& Key() const { return key_; }

    void SendCommand(std::uint8_t command, std::int32_t address, std::int32_t value);
    void SendBlock(std::uint8_t command, std::int32_t address, std::size_t payloadLength,
                   std::span<const std::uint8_t> blockData);
    void SendKeyFrame();
    void SendControl(std::uint8_t code);

    static TimeOfDay LocalTimeOfDay();

private:
    void Write(const FrameBuffer& frame);

    ReportTransport& transport_;
    Clock clock_;
    LinkKey key_{};
};

}  // namespace tr640
