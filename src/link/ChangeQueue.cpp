// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Link.h"
#include "model/ParamAddress.h"

#include <algorithm>

namespace tr640 {

namespace {
// Hold timer ticks (40 ms): a mode acknowledgement is awaited in periods of
// this many ticks (two seconds), and the tick counter is held here.
constexpr int kHoldPeriod = 50;
// A mode command unacknowledged for more periods than this loses the link.
constexpr int kModeWaitPeriods = 50;
// Keep-alive periods without an answer before the link is declared lost.
constexpr int kKeepAlivePeriods = 10;
// Quiet hold ticks after which answers still missing are taken as lost (an
// answer is a matter of milliseconds) ...
constexpr int kAnswerLostTicks = 10;
// ... and after which, with at least this many frames sent into the
// silence, the unit itself is taken as gone, as the keep-alive would after
// its eleven periods of two ticks and its four polls.
constexpr int kSilenceLostTicks = 2 * (kKeepAlivePeriods + 1);
constexpr int kSilenceLostFrames = 4;

bool IsModeCommand(int address) { return address == kAddrModeRecall || address == kAddrModeSave; }

// Keeps the waiting entries for which `keep` holds, in their order.
template <typename Keep>
void KeepWaiting(PendingQueue& q, Keep keep) {
    int kept = 0;
    for (int i = 1; i <= q.count; ++i) {
        if (!keep(i)) continue;
        ++kept;
        q.addresses[kept] = q.addresses[i];
        q.values[kept] = q.values[i];
    }
    q.count = kept;
}

// The device needs only the newest value of each parameter, so a waiting
// change that a later waiting change of the same parameter supersedes can
// go, and the rest keep their order. Mode commands stay: each one acts.
// Used when the queue is full, which a device that has stopped answering
// and a user dragging across many controls can bring about; without it
// the newest waiting change would be overwritten and lost.
void DropSupersededChanges(PendingQueue& q) {
    const auto waiting = q.addresses.begin() + q.count + 1;
    KeepWaiting(q, [&](int i) {
        return IsModeCommand(q.addresses[i]) || std::find(q.addresses.begin() + i + 1, waiting, q.addresses[i]) == waiting;
    });
}

}  // namespace

bool Link::ModeCommandPending() const {
    if (vars_.waitReason != 0) return true;
    const PendingQueue& q = vars_.queue;
    return std::any_of(q.addresses.begin() + 1, q.addresses.begin() + q.count + 1, IsModeCommand);
}

// A transfer that covers page 1 only (a mode reload, a preset write) leaves
// page 0 alone, so page-0 changes still waiting must reach the device after
// it: the windows go on showing them. Waiting page-1 changes are superseded
// by what the transfer reads or writes.
void Link::KeepOnlyPageZeroChanges() {
    PendingQueue& q = vars_.queue;
    KeepWaiting(q, [&](int i) { return PageOf(q.addresses[i]) == 0; });
}

// A mode wait belongs to its link: once the link is lost, restarted or the
// unit gone, the unit may never have taken the command, so nothing may
// report it done later, and nothing queued behind it may follow it out.
void Link::EndModeWait() {
    vars_.waitReason = 0;
    vars_.modeAcknowledged = 0;
    vars_.queue.count = 0;
    vars_.repeatLast = 0;
}

// While a transfer runs, the device image is what the transfer reads into
// or writes from: a change kept out of it is shown until the transfer ends
// and then visibly undone by the refresh, instead of reaching the unit in
// some blocks and not in others.
void Link::StoreChange(int address, std::int32_t value) {
    store_.SetShown(PageOf(address), IndexOf(address), value);
    if (!timers_.transfer.IsActive()) store_.SetDevice(PageOf(address), IndexOf(address), value);
}

void Link::SendParameter(int address, std::int32_t value) {
    CatchUpHold();
    StoreChange(address, value);
    const bool transferRunning = timers_.transfer.IsActive();
    // Stored but never sent while unlinked or during a transfer. While a mode
    // command waits, a change waits behind it and goes out once the unit has
    // taken the command (a recall's reload supersedes the page-1 ones).
    const bool modeWait = ModeCommandPending();
    const bool goesOut = vars_.sendSuppressed != 1 && !transferRunning &&
                         (vars_.linkState == kLinkedIdle || (modeWait && vars_.linkState != kNotLinked));
    if (watch_.changed) watch_.changed(address, value, goesOut);
    if (!goesOut) return;

    // The hold ticks time the wait for a mode acknowledgement; a change
    // made meanwhile must not postpone that.
    if (vars_.waitReason == 0) vars_.holdTicks = 0;
    if (vars_.ready == 0 || vars_.queue.count != 0 || modeWait || !ModeCommandMayGo(address)) {
        QueueChange(address, value);
        return;
    }
    PendingQueue& q = vars_.queue;
    q.addresses[0] = address;
    q.values[0] = value;
    vars_.transfer.state = kTransferIdle;
    StartModeWait(address);
    vars_.ready = 0;
    SendChange(address, value);
}

// Every frame the queue and the keep-alive send is counted until a reply
// accepts it; the device's accepting replies do not say which frame they
// answer.
void Link::SendChange(int address, std::int32_t value) {
    vars_.changeUnanswered = true;
    ++vars_.framesUnanswered;
    ++vars_.framesIntoSilence;
    vars_.awaitingAnswer = true;
    sender_.SendCommand(proto::kCmdWrite, address, value);
}

void Link::SendKeepAlive() {
    ++vars_.framesUnanswered;
    ++vars_.framesIntoSilence;
    vars_.awaitingAnswer = true;
    sender_.SendControl(proto::kCtlKeepAlive);
}

// A mode command goes out only while no earlier frame may still be
// answered: the answer of a frame that came late (after the queue was
// forced on) would pass for the command's own, and report a save done that
// the unit refused.
bool Link::ModeCommandMayGo(int address) const {
    return !IsModeCommand(address) || (vars_.framesUnanswered == 0 && !vars_.awaitingAnswer);
}

// With a mode command next in the queue: whether it may go now. It never
// goes on a guess: answers missing for a while are taken as lost, and then
// a keep-alive asks the unit, whose answer puts the link back in step (and
// whose silence, repeated, ends the link; see TimeTheSilence).
bool Link::BringIntoStepForModeCommand() {
    const bool quietForLong = vars_.holdTicks >= kAnswerLostTicks;
    if (quietForLong) vars_.framesUnanswered = 0;
    if (vars_.ready == 1 && ModeCommandMayGo(vars_.queue.addresses[1])) return true;
    if (quietForLong) {
        vars_.ready = 0;
        vars_.holdTicks = 0;
        SendKeepAlive();
    }
    return false;
}

// Frames sent into a unit that has gone silent. The queue is forced on
// without answers, and while a mode command waits its turn no keep-alive
// runs, so the silence is timed here as well: a unit that answers none of
// several frames for as long as the keep-alive allows is gone (a mode wait
// has its own, longer patience). One lost answer while the user keeps changing values (which
// holds the queue back) is not silence.
void Link::TimeTheSilence() {
    if (!vars_.awaitingAnswer) return;
    ++vars_.ticksUnanswered;
    if (vars_.ticksUnanswered > kSilenceLostTicks && vars_.framesIntoSilence >= kSilenceLostFrames) {
        vars_.ticksUnanswered = 0;
        vars_.framesIntoSilence = 0;
        vars_.awaitingAnswer = false;
        timers_.hold.Stop();
        RaiseLinkEvent(kEventConnectionLost);
    }
}

// Consecutive changes of one parameter merge into the newest waiting entry,
// so a dragged slider keeps one frame in flight however fast it moves.
void Link::QueueChange(int address, std::int32_t value) {
    PendingQueue& q = vars_.queue;
    if (q.count != 0 && q.addresses[q.count] == address) {
        q.values[q.count] = value;
        return;
    }
    if (q.count >= PendingQueue::kMaxWaiting) DropSupersededChanges(q);
    if (q.count < PendingQueue::kMaxWaiting) {
        ++q.count;
        q.addresses[q.count] = address;
        q.values[q.count] = value;
        return;
    }
    // Still full, every waiting change of a different parameter (more of
    // them than the controls have): never drop another parameter's waiting
    // change if this one already waits somewhere; only a new address takes
    // the newest entry.
    // The newest waiting entry of the address is the one updated, so that
    // no older value of it goes out after the new one.
    int slot = q.count;
    for (int i = q.count; i >= 1; --i) {
        if (q.addresses[i] == address) {
            slot = i;
            break;
        }
    }
    q.addresses[slot] = address;
    q.values[slot] = value;
}

// A mode recall or save going out: wait for its own acknowledgement before
// the link is idle again (a recall then reloads page 1). It is never sent a
// second time as the repeat of a burst: that would be a second recall or
// save.
void Link::StartModeWait(int address) {
    if (IsModeCommand(address)) {
        vars_.modeAcknowledged = 0;
        vars_.repeatLast = 0;
    }
    if (address == kAddrModeRecall) {
        SetStatus(LinkStatus::RecallWaiting);
        vars_.linkState = kLinkedBusy;
        vars_.retryCount = 0;
        vars_.waitReason = kEventReloadModeParams;
        ShowLinkStatus(2, 0);
    } else if (address == kAddrModeSave) {
        vars_.retryCount = 0;
        vars_.waitReason = kEventSaveDone;
        SetStatus(LinkStatus::SaveWaiting);
    } else {
        vars_.waitReason = 0;
    }
}

// What the main window did for a confirmed save before the link knew of it.
void Link::HoldForSave() {
    SetStatus(LinkStatus::Saving);
    if (vars_.linkState == kLinkedIdle) vars_.linkState = kLinkedBusy;
    vars_.retryCount = 0;
}

void Link::HoldTimerTimer() {
    timers_.hold.TickCame();
    HoldTick();
    timers_.hold.TickEnded();
}

void Link::HoldTick() {
    vars_.holdTicks = NextHoldTicks();
    if (vars_.waitReason != 0) {
        // Nothing else goes out until the unit has taken the mode command:
        // its acknowledgement must be its own, not that of a later frame.
        ShowLinkStatus(2, vars_.holdTicks * 2);
        WaitForModeAcknowledgement();
        return;
    }
    TimeTheSilence();
    if (!timers_.hold.IsActive()) return;
    SendNextWaitingChange();
    KeepAlive();
    if (timers_.hold.IsActive() && NextHoldTickIsQuiet()) timers_.hold.RunNextTickLate([this] { HoldTimerTimer(); });
}

int Link::NextHoldTicks() const { return vars_.holdTicks <= kHoldPeriod ? vars_.holdTicks + 1 : kHoldPeriod; }

// Linked and idle, every other tick only counts: the keep-alive goes out
// on even counts. Such a tick may run late, just before the next one (see
// LinkTimer), and the program then wakes once per keep-alive. A reply that
// comes meanwhile changes nothing such a tick does; a change, a connection
// or a link event first lets the timer catch up (CatchUpHold).
bool Link::NextHoldTickIsQuiet() const {
    const bool keepAliveDue = vars_.linkState == kLinkedIdle && NextHoldTicks() % 2 == 0;
    const bool silenceMayEnd = vars_.awaitingAnswer && vars_.ticksUnanswered + 1 > kSilenceLostTicks;
    return vars_.waitReason == 0 && vars_.queue.count == 0 && vars_.repeatLast == 0 && !keepAliveDue &&
           !silenceMayEnd;
}

void Link::CatchUpHold() { timers_.hold.CatchUp(); }

// Only an accepting reply that came after the mode frame went out counts;
// a forced send of the queue sets Ready without any reply.
void Link::WaitForModeAcknowledgement() {
    if (vars_.modeAcknowledged == 1) {
        const int event = vars_.waitReason;
        vars_.waitReason = 0;
        vars_.modeAcknowledged = 0;
        RaiseLinkEvent(event);
        vars_.retryCount = 0;
        vars_.holdTicks = 0;
    } else if (vars_.waitReason != 0 && vars_.holdTicks == kHoldPeriod) {
        vars_.holdTicks = 0;
        ++vars_.retryCount;
        if (vars_.retryCount > kModeWaitPeriods) {
            vars_.retryCount = 0;
            timers_.hold.Stop();
            RaiseLinkEvent(kEventConnectionLost);
        }
    }
}

void Link::SendNextWaitingChange() {
    PendingQueue& q = vars_.queue;
    if (q.count == 0 && vars_.repeatLast == 1 && IsModeCommand(q.addresses[0])) {
        vars_.repeatLast = 0;  // never a second recall or save
        return;
    }
    if (q.count != 0 && IsModeCommand(q.addresses[1]) && !BringIntoStepForModeCommand()) return;
    if (vars_.ready == 1 && (q.count != 0 || vars_.repeatLast == 1)) {
        vars_.ready = 0;
        vars_.retryCount = 0;
        vars_.holdTicks = 0;
        const bool fromQueue = q.count >= 1;
        if (fromQueue) {
            std::copy(q.addresses.begin() + 1, q.addresses.begin() + 1 + q.count, q.addresses.begin());
            std::copy(q.values.begin() + 1, q.values.begin() + 1 + q.count, q.values.begin());
            --q.count;
        }
        vars_.repeatLast = (q.count == 0 && vars_.repeatLast == 0) ? 1 : 0;
        const int address = q.addresses[0];
        if (IsModeCommand(address)) {
            // A mode command that had to wait keeps its meaning: it waits for
            // its acknowledgement like one sent at once.
            vars_.transfer.state = kTransferIdle;
            StartModeWait(address);
        }
        SendChange(address, q.values[0]);
    } else if (vars_.holdTicks % 5 == 0 && q.count != 0) {
        // No acknowledgement for a while: send the next change anyway.
        vars_.ready = 1;
        vars_.repeatLast = 1;
    }
}

void Link::KeepAlive() {
    if (vars_.waitReason != 0 || vars_.linkState != kLinkedIdle || vars_.holdTicks % 2 != 0 ||
        vars_.queue.count != 0) {
        return;
    }
    vars_.holdTicks = 0;
    ++vars_.retryCount;
    if (vars_.ready == 1) {
        vars_.ready = 0;
        vars_.retryCount = 0;
        SendKeepAlive();
    } else if (vars_.retryCount % 3 == 0) {
        SendKeepAlive();
    }
    if (vars_.retryCount > kKeepAlivePeriods) {
        vars_.retryCount = 0;
        timers_.hold.Stop();
        RaiseLinkEvent(kEventConnectionLost);
    }
}

}  // namespace tr640
