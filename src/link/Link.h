// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/FrameSender.h"
#include "link/LinkPorts.h"
#include "link/LinkState.h"
#include "link/Replies.h"
#include "model/ParamStore.h"

#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace tr640 {

// The link to the device: connecting, the three block transfers, the
// change queue with its keep-alive, and acting on the device's replies.
// It owns no timers or windows; the link window gives it its three timers
// and calls the tick handlers, and the windows answer through LinkView.
class Link {
public:
    struct Timers {
        LinkTimer& connect;   // Timer1, 1000 ms: repeats the KeyFrame
        LinkTimer& transfer;  // Timer2, 50 ms: paces block transfers
        LinkTimer& hold;      // HoldTimer, 40 ms: queue, keep-alive, mode waits
    };

    Link(ParamStore& store, FrameSender& sender, LinkView& view, Timers timers, const int& language);

    // Device presence, from the HID transport after each rebuild.
    void DevicePresent();
    void NoDevicePresent();
    // The unit is present but not open to this user: says so, and how to fix it.
    void DeviceNotPermitted();
    // Both link buttons; also the start of every connection.
    void StartConnection();

    void RaiseLinkEvent(int code);
    void ShowLinkStatus(int kind, const std::string& text, int percent);

    // The single entry point for parameter changes.
    void SendParameter(int address, std::int32_t value);
    // Stores a change in the shown image, and in the device image unless a
    // transfer runs (see ChangeQueue.cpp); SendParameter stores this way.
    void StoreChange(int address, std::int32_t value);

    // One whole input report from any taken device.
    void OnReply(std::span<const std::uint8_t> reply);

    // Tick handlers of the three timers.
    void Timer1Timer();
    void Timer2Timer();
    void HoldTimerTimer();

    void TransferStep(int step, int direction);

    // A preset's write-all runs only from the linked, idle state.
    bool CanWriteAll() const { return vars_.linkState == kLinkedIdle; }

    // Replaces the watcher (an empty LinkWatch removes it).
    void Watch(LinkWatch watch) { watch_ = std::move(watch); }

    LinkVars& Vars() { return vars_; }
    const LinkVars& Vars() const { return vars_; }

private:
    // The main window's link label: a text of the link in the program's
    // language, its twin as the hint.
    void SetLabel(const char* chinese);
    void ShowStatusWithLabel(int percent);
    int TransferPercent() const;
    void StopTransferTimers();
    void BeginTransfer(int direction, int firstPage);

    void OnConnectRead();
    void OnReloadModeParams();
    void OnWriteAll();
    void OnTransferComplete();
    void OnSaveDone();
    void OnConnectionLost();
    void OnConnectFailed();

    void AdvanceTransfer();
    void WaitForFirstReply();
    bool ReadTransferRunning() const;
    bool ReadingBlocks() const;
    void QueueChange(int address, std::int32_t value);
    bool ModeCommandPending() const;
    bool ModeCommandMayGo(int address) const;
    void TimeTheSilence();
    bool BringIntoStepForModeCommand();
    void SendChange(int address, std::int32_t value);
    void SendKeepAlive();
    void KeepOnlyPageZeroChanges();
    void EndModeWait();
    bool AskedForReadReply(std::span<const std::uint8_t> reply) const;
    void AnswerCame();
    void StartModeWait(int address);
    void SendNextWaitingChange();
    void KeepAlive();
    void WaitForModeAcknowledgement();
    int NextHoldTicks() const;
    bool NextHoldTickIsQuiet() const;
    void CatchUpHold();

    ParamStore& store_;
    FrameSender& sender_;
    LinkView& view_;
    Timers timers_;
    const int& language_;
    LinkVars vars_;
    LinkWatch watch_;
};

}  // namespace tr640
