// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Link.h"

#include <cstdio>

namespace tr640 {

Link::Link(ParamStore& store, FrameSender& sender, LinkView& view, Timers timers)
    : store_(store), sender_(sender), view_(view), timers_(timers) {}

void Link::SetStatus(LinkStatus status) {
    status_ = status;
    view_.ShowStatus(status);
}

LinkStatus Link::Status() const { return vars_.linkState == kNotLinked ? LinkStatus::NoUnit : status_; }

// A keep-alive waiting for its answer does not count: it runs all the time.
bool Link::Quiet() const {
    return Linked() && !vars_.changeUnanswered && vars_.queue.count == 0 && vars_.repeatLast == 0 &&
           vars_.waitReason == 0 && !timers_.connect.IsActive() && !timers_.transfer.IsActive();
}

void Link::DevicePresent() {
    ShowLinkStatus(1, 0);
    SetStatus(LinkStatus::Connecting);
    StartConnection();
}

// Said after every rebuild of the device list that finds no TR640.
void Link::NoDevicePresent() {
    ShowLinkStatus(0, 0);
    SetStatus(LinkStatus::NoUnit);
}

void Link::StartConnection() {
    CatchUpHold();
    // Every connection scrambles with a key of its own.
    sender_.MakeLinkKey();
    vars_.deviceAnswered = 0;
    vars_.framesUnanswered = 0;
    vars_.ticksUnanswered = 0;
    vars_.awaitingAnswer = false;
    vars_.framesIntoSilence = 0;
    vars_.changeUnanswered = false;
    status_ = LinkStatus::Connecting;
    EndModeWait();
    timers_.hold.Stop();
    if (vars_.linkState != kNotLinked) sender_.SendKeyFrame();
    timers_.connect.Start();
}

void Link::Timer1Timer() {
    if (vars_.deviceAnswered == 1) {
        ReadAll();
    } else if (vars_.linkState != kNotLinked) {
        // The device has not taken the key yet: offer it again, without limit.
        sender_.SendKeyFrame();
    } else {
        // No unit to offer the key to (the link button pressed with none
        // present): nothing can happen on this timer until one arrives, and
        // its arrival starts the connection, and the timer, anew.
        timers_.connect.Stop();
    }
}

void Link::ShowLinkStatus(int kind, int percent) {
    CatchUpHold();
    switch (kind) {
    case 0:
        view_.SetLinkLabelColour(LinkColour::Grey);
        timers_.transfer.Stop();
        timers_.connect.Stop();
        timers_.hold.Stop();
        EndModeWait();
        vars_.linkState = kNotLinked;
        break;
    case 1:
        vars_.linkState = kLinkedBusy;
        view_.SetLinkLabelColour(LinkColour::Green);
        break;
    case 2:
        view_.SetLinkLabelColour(LinkColour::Green);
        view_.ShowProgress(percent);
        break;
    case 3:
        view_.SetLinkLabelColour(LinkColour::LightGreen);
        view_.HideProgress(percent);
        break;
    default:
        break;
    }
}

void Link::RaiseLinkEvent(int code) {
    CatchUpHold();
    switch (code) {
    case kEventTransferComplete: OnTransferComplete(); break;
    case kEventReloadModeParams: OnReloadModeParams(); break;
    case kEventSaveDone: OnSaveDone(); break;
    case kEventConnectRead: OnConnectRead(); break;
    case kEventWriteAll: WriteAll(); break;
    case kEventConnectionLost: OnConnectionLost(); break;
    case kEventConnectFailed: OnConnectFailed(); break;
    default: break;
    }
}

void Link::OnSaveDone() {
    vars_.linkState = kLinkedIdle;
    SetStatus(LinkStatus::Linked);
    ShowLinkStatus(3, 0);
    view_.Report(LinkOutcome::ModeSaved);
}

void Link::StopTransferTimers() {
    timers_.transfer.Stop();
    timers_.connect.Stop();
    vars_.sendSuppressed = 0;
    EndModeWait();
}

void Link::OnConnectionLost() {
    // The hold timer that noticed the silence has stopped itself already.
    StopTransferTimers();
    if (vars_.linkState == kLinkedIdle) vars_.linkState = kLinkedBusy;
    SetStatus(LinkStatus::NotLinked);
    view_.Report(LinkOutcome::ConnectionLost);
}

void Link::OnConnectFailed() {
    StopTransferTimers();
    SetStatus(LinkStatus::NotLinked);
    view_.Report(LinkOutcome::ConnectFailed);
}

// The unit is there but its node may not be opened: said once per plug-in,
// rather than let the link fail in silence.
void Link::DeviceNotPermitted() { view_.Report(LinkOutcome::NotPermitted); }

// Any answer, accepting or refusing, is the answer of one frame, and shows
// the unit is there.
void Link::AnswerCame() {
    if (vars_.framesUnanswered > 0) --vars_.framesUnanswered;
    vars_.ticksUnanswered = 0;
    vars_.awaitingAnswer = false;
    vars_.framesIntoSilence = 0;
}

// Only a read transfer under way asks for values, block by block. A read
// reply it did not ask for (one that comes late or twice after its
// transfer ended, or whose header was damaged on the way) must not reach
// the device image: a later refresh would show it as the unit's.
bool Link::AskedForReadReply(std::span<const std::uint8_t> reply) const {
    const std::optional<int> address = ReadReplyAddress(reply);
    if (!address) return true;
    return ReadTransferRunning() && (vars_.transfer.requested & RequestBit(*address)) != 0;
}

void Link::OnReply(std::span<const std::uint8_t> reply) {
    if (!AskedForReadReply(reply)) return;
    const ReplyOutcome outcome = ParseReply(reply, store_);
    if (outcome.checkMismatch) {
        char line[64];
        std::snprintf(line, sizeof line, "CHECK MISMATCH: expected %.2X, got %.2X", outcome.expectedCheck,
                      outcome.lastByte);
        view_.LogTraffic(line);
    }
    switch (outcome.kind) {
    case ReplyOutcome::Kind::ReadReply:
        // A reply to an earlier block of this transfer is stored but does
        // not stand in for the one being waited for.
        if (ReadReplyAddress(reply) == vars_.transfer.address) vars_.transfer.state = kTransferReplyIn;
        break;
    case ReplyOutcome::Kind::StatusAccepted:
        vars_.deviceAnswered = 1;
        vars_.ready = 1;
        vars_.changeUnanswered = false;
        AnswerCame();
        if (vars_.waitReason != 0) vars_.modeAcknowledged = 1;
        // In a read transfer only the end code is answered with a status;
        // a stray acknowledgement must not skip a block unread.
        if (!ReadingBlocks()) vars_.transfer.state = kTransferReplyIn;
        break;
    case ReplyOutcome::Kind::StatusError:
        // The frame was answered, if with a refusal.
        AnswerCame();
        view_.Report(LinkOutcome::Refused);
        break;
    default:
        break;
    }
}

}  // namespace tr640
