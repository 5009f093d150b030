// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkPorts.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

class QTimer;

namespace tr640 {

// A LinkTimer over a QTimer. Starting a running timer leaves its phase
// alone, as enabling an enabled timer does nothing. A late tick (see
// LinkTimer) is run as the QTimer's next expiry arrives, before its timeout
// reaches anyone; the QTimer is meanwhile set to the longer wait, and back
// to its interval by the tick that follows.
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

private:
    class ExpiryWatch;
    void Expiring();
    void RunLate();
    int Interval() const;
    void Rearm(qint64 inMs);
    void RestoreInterval();

    QTimer& timer_;
    std::unique_ptr<ExpiryWatch> watch_;
    int intervalMs_ = 0;  // the QTimer's own interval, while rearmed_
    bool rearmed_ = false;
    QElapsedTimer clock_;
    std::function<void()> late_;
    qint64 lateDueMs_ = 0;  // on clock_: when the late tick would have come
    bool expiring_ = false;  // the QTimer's expiry is being delivered
    bool runningLate_ = false;
};

}  // namespace tr640
