// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/QtLinkTimer.h"

#include <QTimer>

namespace tr640 {

void QtLinkTimer::Start() {
    if (!timer_.isActive()) timer_.start();
}

void QtLinkTimer::Stop() { timer_.stop(); }

bool QtLinkTimer::IsActive() const { return timer_.isActive(); }

}  // namespace tr640
