// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkPorts.h"

#include <cstdint>
#include <optional>

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

    // Ticked by hand (a test that owns the ticks): the QTimer never starts;
    // the timer keeps only whether it runs and when, on the clock `nowMs`,
    // it is next due. Set before the timer first starts.
    void TickByHand(const std::int64_t& nowMs) { handClock_ = &nowMs; }
    std::optional<std::int64_t> NextDue() const;
    // The due tick was given: the next one falls an interval later.
    void Ticked();

private:
    QTimer& timer_;
    const std::int64_t* handClock_ = nullptr;
    bool handRunning_ = false;
    std::int64_t handDue_ = 0;
};

}  // namespace tr640
