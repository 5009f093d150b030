// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/VirtualRig.h"

#include <QMetaObject>

#include <utility>

namespace tr640 {

VirtualRig::VirtualRig(std::unique_ptr<Dialogs> dialogs, int language)
    : program_(transport_, std::move(dialogs), language) {
    transport_.SetSelected(false);
    transport_.SetReplyHandler([this](const std::vector<std::uint8_t>& reply) {
        program_.linkWindow().OnInputReport(reply);
    });
    // A reply never reaches the link inside the write that caused it: it
    // waits for the event loop, as a reply from the USB reader would.
    transport_.SetRepliesWaitingNotice([this] {
        QMetaObject::invokeMethod(
            &program_.linkWindow(), [this] { transport_.DeliverReplies(); }, Qt::QueuedConnection);
    });
    deviceClock_.setInterval(kDeviceClockMs);
    QObject::connect(&deviceClock_, &QTimer::timeout, [this] { device_.Tick(); });
    deviceClock_.start();
}

void VirtualRig::Plug() {
    transport_.SetSelected(true);
    program_.link().DevicePresent();
}

void VirtualRig::Unplug() {
    transport_.SetSelected(false);
    program_.link().NoDevicePresent();
}

}  // namespace tr640
