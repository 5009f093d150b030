// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ReportTransport.h"
#include "virtualdevice/VirtualTr640.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tr640 {

// Connects the link straight to a virtual TR640, without a HID bus. Replies
// never reach the link inside a write (a real device answers later, on
// another thread): they wait here until DeliverReplies hands them over, which
// tests call between ticks and an event loop calls when told that replies
// are waiting.
class VirtualTransport : public ReportTransport {
public:
    using ReplyHandler = std::function<void(const std::vector<std::uint8_t>&)>;

    explicit VirtualTransport(VirtualTr640& device);

    void SetReplyHandler(ReplyHandler handler) { handler_ = std::move(handler); }
    // Called whenever a reply starts waiting; an event loop uses it to
    // schedule DeliverReplies.
    void SetRepliesWaitingNotice(std::function<void()> notice) { notice_ = std::move(notice); }

    void SetSelected(bool selected) { selected_ = selected; }

    // Hands every waiting reply to the handler, oldest first. Returns how many.
    int DeliverReplies();
    std::size_t WaitingReplies() const { return waiting_.size(); }

    bool IsDeviceSelected() const override { return selected_; }
    std::size_t OutputReportLength() const override { return kFrameBufferSize; }
    void WriteReport(std::span<const std::uint8_t> report) override;
    void Log(const std::string& line) override { log_.push_back(line); }

    const std::vector<std::vector<std::uint8_t>>& Written() const { return written_; }
    const std::vector<std::string>& LogLines() const { return log_; }
    void ClearWritten() { written_.clear(); }

private:
    VirtualTr640& device_;
    ReplyHandler handler_;
    std::function<void()> notice_;
    bool selected_ = true;
    std::deque<std::vector<std::uint8_t>> waiting_;
    std::vector<std::vector<std::uint8_t>> written_;
    std::vector<std::string> log_;
};

}  // namespace tr640
