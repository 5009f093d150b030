// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkPorts.h"

class QTimer;

namespace tr640 {

// A LinkTimer over a QTimer. Starting a running timer leaves its phase
// alone, as enabling an enabled timer does nothing.
class QtLinkTimer final : public LinkTimer {
public:
    explicit QtLinkTimer(QTimer& timer) : timer_(timer) {}
    void Start() override;
    void Stop() override;
    bool IsActive() const override;

private:
    QTimer& timer_;
};

}  // namespace tr640
