// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Link.h"

#include <cstdio>

namespace tr640 {

Link::Link(ParamStore& store, FrameSender& sender, LinkView& view, Timers timers, const int& language)
    : store_(store), sender_(sender), view_(view), timers_(timers), language_(language) {}

void Link::SetLabel(const char* chinese) { view_.SetLinkLabelText(Twins(language_, chinese)); }

void Link::ShowStatusWithLabel(int percent) { ShowLinkStatus(2, view_.LinkLabelCaption(), percent); }

void Link::DevicePresent() {
    ShowLinkStatus(1, {}, 0);
    StartConnection();
}

void Link::NoDevicePresent() { ShowLinkStatus(0, {}, 0); }

void Link::StartConnection() {
    CatchUpHold();
    // Every connection scrambles with a key of its own.
    sender_.MakeLinkKey();
    vars_.deviceAnswered = 0;
    vars_.framesUnanswered = 0;
    vars_.ticksUnanswered = 0;
    vars_.awaitingAnswer = false;
    vars_.framesIntoSilence = 0;
    EndModeWait();
    timers_.hold.Stop();
    if (vars_.linkState != kNotLinked) sender_.SendKeyFrame();
    timers_.connect.Start();
}

void Link::Timer1Timer() {
    if (vars_.deviceAnswered == 1) {
        RaiseLinkEvent(kEventConnectRead);
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

void Link::ShowLinkStatus(int kind, const std::string& text, int percent) {
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
        view_.ShowStatusWindow(text, percent);
        break;
    case 3:
        view_.SetLinkLabelColour(LinkColour::LightGreen);
        view_.HideStatusWindow(percent);
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
    case kEventWriteAll: OnWriteAll(); break;
    case kEventConnectionLost: OnConnectionLost(); break;
    case kEventConnectFailed: OnConnectFailed(); break;
    default: break;
    }
}

void Link::OnSaveDone() {
    vars_.linkState = kLinkedIdle;
    SetLabel("设备已连接");
    ShowLinkStatus(3, view_.LinkLabelCaption(), 0);
    view_.ShowMessage(Translate(language_, "提示"), Translate(language_, "保存成功!"));
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
    SetLabel("设备未连接");
    view_.ShowMessage(Translate(language_, "提示"), Translate(language_, "已断开连接!"));
}

void Link::OnConnectFailed() {
    StopTransferTimers();
    SetLabel("设备未连接");
    view_.ShowMessage(Translate(language_, "提示"), Translate(language_, "连接失败!"));
}

// The unit is there but its node may not be opened: tell the user once per
// plug-in where the fix is (the udev rule and the README's section on
// access), rather than let the link fail in silence.
void Link::DeviceNotPermitted() {
    constexpr const char* kNotPermitted =
        "已找到TR640设备，但没有打开它的权限。请安装udev规则70-tr640.rules（随软件包安装），然后重新插拔设备；详见README中的“Access to the device”一节。";
    view_.ShowMessage(Translate(language_, "提示"), Translate(language_, kNotPermitted));
}

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
        AnswerCame();
        if (vars_.waitReason != 0) vars_.modeAcknowledged = 1;
        // In a read transfer only the end code is answered with a status;
        // a stray acknowledgement must not skip a block unread.
        if (!ReadingBlocks()) vars_.transfer.state = kTransferReplyIn;
        break;
    case ReplyOutcome::Kind::StatusError:
        // The frame was answered, if with a refusal.
        AnswerCame();
        view_.ShowPlainMessage(Translate(language_, "错误应答!"));
        break;
    default:
        break;
    }
}

}  // namespace tr640
