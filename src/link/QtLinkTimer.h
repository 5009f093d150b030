// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkPorts.h"

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace tr640 {

// A LinkTimer over a QTimer. Starting a running timer leaves its phase
// alone, as enabling an enabled timer does nothing. A late tick (see
// LinkTimer) is run as the QTimer's next expiry arrives, before its timeout
// reaches anyone; the QTimer is meanwhile set to the longer wait, and back
// to its interval by the tick that follows, unless that tick asks for
// another late tick: an idle link asks at every keep-alive, and the QTimer
// then simply keeps its longer wait instead of being restarted twice.
class QtLinkTimer final : public LinkTimer {
public:
    explicit QtLinkTimer(QTimer& timer);
    ~QtLinkTimer() override;
    void Start() override;
    void Stop() override;
    bool IsActive() const override;
    bool RunNextTickLate(std::function<void()> late) override;
    void CatchUp() override;
    void TickCame() override;
    void TickEnded() override;

    // Ticked by hand (a test that owns the ticks): the QTimer never starts;
    // the timer keeps only whether it runs and when, on the clock `nowMs`,
    // it is next due, and runs no tick late. Set before the timer first
    // starts.
    void TickByHand(const std::int64_t& nowMs) { handClock_ = &nowMs; }
    std::optional<std::int64_t> NextDue() const;
    // The due tick was given: the next one falls an interval later.
    void Ticked();

private:
    class ExpiryWatch;
    void Expiring();
    void RunLate();
    int Interval() const;
    void Rearm(qint64 inMs);
    void RestoreInterval();
    void RestartAtInterval();

    QTimer& timer_;
    std::unique_ptr<ExpiryWatch> watch_;
    int intervalMs_ = 0;  // the QTimer's own interval, while rearmed_
    bool rearmed_ = false;
    QElapsedTimer clock_;
    std::function<void()> late_;
    qint64 lateDueMs_ = 0;  // on clock_: when the late tick would have come
    bool expiring_ = false;  // the QTimer's expiry is being delivered
    bool runningLate_ = false;
    // The tick being handled came at the end of a longer wait: the QTimer,
    // due again one longer wait on, is put back to its interval only if the
    // tick asks for no late tick.
    bool longWaitKept_ = false;
    const std::int64_t* handClock_ = nullptr;
    bool handRunning_ = false;
    std::int64_t handDue_ = 0;
};

}  // namespace tr640
