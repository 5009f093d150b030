// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/FrameSender.h"

#include <chrono>
#include <ctime>
#include <string>

namespace tr640 {

FrameSender::FrameSender(ReportTransport& transport, Clock clock)
    : transport_(transport), clock_(std::move(clock)) {}

TimeOfDay FrameSender::LocalTimeOfDay() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return {local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms)};
}

void FrameSender::MakeLinkKey() { key_ = MakeLinkKeyFrom(clock_()); }

void FrameSender::SendCommand(std::uint8_t command, std::int32_t address, std::int32_t value) {
    FrameBuffer frame = BuildCommandFrame(command, address, value);
    ScrambleFrame(frame, key_);
    Write(frame);
}

void FrameSender::SendBlock(std::uint8_t command, std::int32_t address, std::size_t payloadLength,
                            std::span<const std::uint8_t> blockData) {
    FrameBuffer frame = BuildBlockFrame(command, address, payloadLength, blockData);
    ScrambleFrame(frame, key_);
    Write(frame);
}

void FrameSender::SendKeyFrame() { Write(BuildKeyFrame(key_)); }

void FrameSender::SendControl(std::uint8_t code) { SendCommand(proto::kCmdWrite, proto::kAddrControl, code); }

void FrameSender::Write(const FrameBuffer& frame) {
    // Without a selected device a send leaves no trace at all.
    if (!transport_.IsDeviceSelected()) return;
    const std::size_t length = transport_.OutputReportLength();
    if (length > frame.size()) {
        // Writing such a report would read past the frame buffer; a device
        // with reports this long is not a TR640 we know how to talk to.
        transport_.Log("WRITE REFUSED: output report length " + std::to_string(length) +
                       " exceeds the " + std::to_string(frame.size()) + "-byte frame");
        return;
    }
    transport_.WriteReport(std::span(frame).first(length));
}

}  // namespace tr640
