// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/QtLinkTimer.h"

#include <QTimer>

namespace tr640 {

void QtLinkTimer::Start() {
    if (!handClock_) {
        if (!timer_.isActive()) timer_.start();
        return;
    }
    if (handRunning_) return;
    handRunning_ = true;
    handDue_ = *handClock_ + timer_.interval();
}

void QtLinkTimer::Stop() {
    timer_.stop();
    handRunning_ = false;
}

bool QtLinkTimer::IsActive() const { return handClock_ ? handRunning_ : timer_.isActive(); }

std::optional<std::int64_t> QtLinkTimer::NextDue() const {
    if (!handClock_ || !handRunning_) return std::nullopt;
    return handDue_;
}

void QtLinkTimer::Ticked() { handDue_ += timer_.interval(); }

}  // namespace tr640
