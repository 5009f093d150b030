// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/QtLinkTimer.h"

#include <QEvent>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <utility>

namespace tr640 {

// Sees the QTimer's expiry before the QTimer turns it into its timeout, so
// that a late tick runs first, whoever connected to the timeout first.
class QtLinkTimer::ExpiryWatch final : public QObject {
public:
    explicit ExpiryWatch(QtLinkTimer& owner) : owner_(owner) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer && static_cast<QTimerEvent*>(event)->timerId() == owner_.timer_.timerId())
            owner_.Expiring();
        return false;
    }

private:
    QtLinkTimer& owner_;
};

// The QTimer's interval may be set after this is made: it is read when
// needed, and kept aside only while a late tick has the QTimer set to
// another wait.
QtLinkTimer::QtLinkTimer(QTimer& timer) : timer_(timer), watch_(std::make_unique<ExpiryWatch>(*this)) {
    timer_.installEventFilter(watch_.get());
    clock_.start();
}

QtLinkTimer::~QtLinkTimer() { timer_.removeEventFilter(watch_.get()); }

void QtLinkTimer::Start() {
    if (handClock_) {
        if (!handRunning_) handDue_ = *handClock_ + timer_.interval();
        handRunning_ = true;
        return;
    }
    if (timer_.isActive()) return;
    RestoreInterval();
    timer_.start();
}

void QtLinkTimer::Stop() {
    handRunning_ = false;
    timer_.stop();
    RestoreInterval();
    late_ = nullptr;
    expiring_ = false;
    longWaitKept_ = false;
}

bool QtLinkTimer::IsActive() const { return handClock_ ? handRunning_ : timer_.isActive(); }

std::optional<std::int64_t> QtLinkTimer::NextDue() const {
    if (!handClock_ || !handRunning_) return std::nullopt;
    return handDue_;
}

void QtLinkTimer::Ticked() { handDue_ += timer_.interval(); }

bool QtLinkTimer::RunNextTickLate(std::function<void()> late) {
    if (handClock_ || !timer_.isActive() || late_ || runningLate_) return false;
    late_ = std::move(late);
    lateDueMs_ = clock_.elapsed() + Interval();
    if (!std::exchange(longWaitKept_, false)) Rearm(2 * Interval());
    return true;
}

void QtLinkTimer::CatchUp() {
    if (!late_ || runningLate_) return;
    const bool due = clock_.elapsed() >= lateDueMs_;
    if (due) RunLate();
    late_ = nullptr;
    // The ticks keep the times they had: the skipped one's, or the next.
    if (timer_.isActive()) Rearm(lateDueMs_ + (due ? Interval() : 0) - clock_.elapsed());
}

void QtLinkTimer::TickCame() {
    if (runningLate_) return;
    const bool afterLongWait = std::exchange(expiring_, false) && late_;
    if (afterLongWait) RunLate();
    // A tick by hand while a late one waits takes its place.
    late_ = nullptr;
    if (!rearmed_ || !timer_.isActive()) return;
    // A periodic QTimer is due again one wait after its expiry, which is
    // where the next late tick wants it.
    if (afterLongWait && timer_.interval() == 2 * intervalMs_) {
        longWaitKept_ = true;
        return;
    }
    RestartAtInterval();
}

void QtLinkTimer::TickEnded() {
    if (runningLate_ || !std::exchange(longWaitKept_, false)) return;
    RestartAtInterval();
}

void QtLinkTimer::Expiring() { expiring_ = true; }

void QtLinkTimer::RunLate() {
    const std::function<void()> late = std::exchange(late_, nullptr);
    runningLate_ = true;
    late();
    runningLate_ = false;
}

int QtLinkTimer::Interval() const { return rearmed_ ? intervalMs_ : timer_.interval(); }

// Restarts the QTimer to expire in `inMs`; the tick that follows puts its
// interval back.
void QtLinkTimer::Rearm(qint64 inMs) {
    if (!rearmed_) intervalMs_ = timer_.interval();
    rearmed_ = true;
    timer_.start(static_cast<int>(std::max<qint64>(inMs, 0)));
}

// The QTimer set back to its interval and restarted in one go (setting the
// interval of a running QTimer restarts it too).
void QtLinkTimer::RestartAtInterval() {
    rearmed_ = false;
    timer_.start(intervalMs_);
}

void QtLinkTimer::RestoreInterval() {
    if (!rearmed_) return;
    rearmed_ = false;
    timer_.setInterval(intervalMs_);
}

}  // namespace tr640
