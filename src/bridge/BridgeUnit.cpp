// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/BridgeUnit.h"

#include "model/ParamAddress.h"

namespace tr640 {

BridgeUnit::BridgeUnit(HidPlatform& platform, HidDeviceInfo unit, QObject* parent)
    : QObject(parent), platform_(platform), unit_(std::move(unit)) {
    checkTimer_.setInterval(kCheckMs);
    connect(&checkTimer_, &QTimer::timeout, this, &BridgeUnit::OnCheckTick);
    relinkTimer_.setSingleShot(true);
    connect(&relinkTimer_, &QTimer::timeout, this, &BridgeUnit::OnRelinkTick);
}

BridgeUnit::~BridgeUnit() {
    // No tick may reach the session while it is taken down; its end stops
    // the reader threads and closes the unit.
    checkTimer_.stop();
    relinkTimer_.stop();
    session_.reset();
}

void BridgeUnit::Connect() {
    session_ = std::make_unique<UnitSession>(store_, platform_, nullptr, unit_.path);
    UnitSession& s = *session_;
    s.Watch({[this](int, std::int32_t, bool goesOut) {
                 if (pending_ && !goesOut) unsent_ = true;
             },
             {}});
    connect(&s, &UnitSession::outcome, this, &BridgeUnit::OnOutcome);
    connect(&s, &UnitSession::statusChanged, this, &BridgeUnit::OnStatus);
    connect(&s, &UnitSession::deviceImageRead, this, &BridgeUnit::OnRefresh);
    // After the link has acted on a reply or a tick: these connections come
    // after the session's own, so they run once the link is done.
    connect(&s, &UnitSession::replyTaken, this, &BridgeUnit::Evaluate);
    for (QTimer* timer : {&s.connectTimer, &s.transferTimer, &s.holdTimer})
        connect(timer, &QTimer::timeout, this, &BridgeUnit::Evaluate);
    checkTimer_.start();
    // The first scan finds the unit, and the link starts with the key.
    s.Scan();
}

// What became of something the link did. The flags are looked at once the
// link has returned, never from inside it: a finished command lets the
// bridge give the next one at once.
void BridgeUnit::OnOutcome(LinkOutcome outcome) {
    switch (outcome) {
    case LinkOutcome::ModeSaved: saveDone_ = true; break;
    case LinkOutcome::ConnectFailed:
    case LinkOutcome::ConnectionLost: failure_ = UnitOutcome::Silent; break;
    case LinkOutcome::Refused: failure_ = UnitOutcome::Refused; break;
    case LinkOutcome::NotPermitted: failure_ = UnitOutcome::NoAccess; break;
    // The bridge takes each unit's lock before its session exists.
    case LinkOutcome::HeldByOther: failure_ = UnitOutcome::NotLinked; break;
    case LinkOutcome::Connected:
    case LinkOutcome::PageOneRead:
    case LinkOutcome::PageOneWritten: break;  // the read's refresh tells
    }
    EvaluateSoon();
}

void BridgeUnit::OnStatus(LinkStatus status) {
    // The platform's list no longer holds the unit.
    if (status == LinkStatus::NoUnit) failure_ = UnitOutcome::Gone;
    EvaluateSoon();
}

void BridgeUnit::EvaluateSoon() {
    if (evaluateQueued_) return;
    evaluateQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            evaluateQueued_ = false;
            Evaluate();
        },
        Qt::QueuedConnection);
}

std::optional<std::int32_t> BridgeUnit::Confirmed(ParamAddress address) const {
    if (!read_ && !linked_) return std::nullopt;
    return confirmed_.Device(address);
}

void BridgeUnit::OnRefresh() {
    // A read (or a write-all) has ended: the device image is what the unit
    // holds now.
    ++refreshes_;
    for (int page = 0; page <= kLastPage; ++page)
        for (int index = 0; index < kPageCount[page]; ++index)
            confirmed_.SetDevice(page, index, store_.Device(page, index));
    read_ = true;
    emit ValuesConfirmed();
}

bool BridgeUnit::Ready() const { return linked_ && !pending_ && !rereadDue_ && LinkIdle(); }

bool BridgeUnit::Start(std::function<bool()> done, Changes changes) {
    if (!Ready()) {
        emit Finished(linked_ ? UnitOutcome::Busy : UnitOutcome::NotLinked);
        return false;
    }
    failure_.reset();
    unsent_ = false;
    pending_ = Pending{std::move(done), std::move(changes), {}};
    pending_->clock.start();
    return true;
}

void BridgeUnit::SendChanges(const Changes& changes) {
    if (!Start([this] { return LinkQuiet(); }, changes)) return;
    for (const auto& [address, raw] : changes) session_->Send(address, raw);
    Evaluate();
}

void BridgeUnit::RecallMode(int mode) {
    const int before = refreshes_;
    if (!Start([this, before] { return refreshes_ > before && LinkIdle(); })) return;
    session_->RecallMode(mode);
}

void BridgeUnit::SaveMode(int mode) {
    saveDone_ = false;
    if (!Start([this] { return saveDone_ && LinkIdle(); })) return;
    session_->SaveMode(mode);
}

void BridgeUnit::WritePage1(const ParamStore& source) {
    const int before = refreshes_;
    if (!Start([this, before] { return refreshes_ > before && LinkIdle(); })) return;
    for (int index = 0; index < ParamStore::kDeviceWidth; ++index) store_.SetDevice(1, index, source.Device(1, index));
    session_->WritePageOne();
}

void BridgeUnit::Evaluate() {
    if (!session_) return;
    if (failure_ && *failure_ != UnitOutcome::Refused) {
        Lose(*failure_);
        return;
    }
    if (failure_ && pending_) {
        failure_.reset();
        Finish(UnitOutcome::Refused);
        return;
    }
    if (!linked_ && read_ && LinkIdle()) {
        linked_ = true;
        emit LinkedChanged(true);
    }
    if (pending_ && unsent_) Finish(UnitOutcome::Busy);
    if (pending_ && pending_->done()) Finish(UnitOutcome::Ok);
    const bool ready = Ready();
    if (ready && !wasReady_) {
        wasReady_ = true;
        emit ReadyForCommand();
    }
    wasReady_ = Ready();
}

void BridgeUnit::Finish(UnitOutcome outcome) {
    Pending done = std::move(*pending_);
    pending_.reset();
    if (outcome == UnitOutcome::Ok && !done.changes.empty()) {
        for (const auto& [address, raw] : done.changes) confirmed_.SetDevice(address, raw);
        emit ValuesConfirmed();
    }
    // A refused or stalled burst may have landed in part.
    if (outcome == UnitOutcome::Refused || outcome == UnitOutcome::Busy) rereadDue_ = true;
    emit Finished(outcome);
}

void BridgeUnit::Lose(UnitOutcome outcome) {
    failure_.reset();
    rereadDue_ = false;  // the next link reads everything anyway
    read_ = false;
    if (pending_) Finish(outcome);
    if (linked_) {
        linked_ = false;
        emit LinkedChanged(false);
    }
    // A unit that went silent is tried again; one that went away is
    // followed by the platform's notice instead.
    if (outcome == UnitOutcome::Silent && !relinkTimer_.isActive()) relinkTimer_.start(kRelinkMs);
}

void BridgeUnit::OnCheckTick() {
    if (rereadDue_ && linked_ && !pending_ && LinkIdle()) {
        rereadDue_ = false;
        // Both pages: a burst can hold system values too. The read ends in
        // a refresh, which confirms what the unit sent.
        session_->ReadBack(true);
    }
    Evaluate();
    if (pending_ && pending_->clock.elapsed() > kCommandTimeoutMs) Lose(UnitOutcome::Silent);
}

void BridgeUnit::OnRelinkTick() {
    if (session_ && !linked_) session_->Connect();
}

}  // namespace tr640
