// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualdevice/VirtualTransport.h"

namespace tr640 {

VirtualTransport::VirtualTransport(VirtualTr640& device) : device_(device) {
    device_.SetReplySink([this](std::span<const std::uint8_t> reply) {
        waiting_.emplace_back(reply.begin(), reply.end());
        if (notice_) notice_();
    });
}

void VirtualTransport::WriteReport(std::span<const std::uint8_t> report) {
    written_.emplace_back(report.begin(), report.end());
    device_.ReceiveOutputReport(report);
}

int VirtualTransport::DeliverReplies() {
    int delivered = 0;
    while (!waiting_.empty()) {
        std::vector<std::uint8_t> reply = std::move(waiting_.front());
        waiting_.pop_front();
        if (handler_) handler_(reply);
        ++delivered;
    }
    return delivered;
}

}  // namespace tr640
