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
// It owns no timers or windows: a UnitSession gives it its three timers and
// calls the tick handlers, and reports what it shows through LinkView as
// states and outcomes, never as words.
class Link {
public:
    struct Timers {
        LinkTimer& connect;   // Timer1, 1000 ms: repeats the KeyFrame
        LinkTimer& transfer;  // Timer2, 50 ms: paces block transfers
        LinkTimer& hold;      // HoldTimer, 40 ms: queue, keep-alive, mode waits
    };

    Link(ParamStore& store, FrameSender& sender, LinkView& view, Timers timers);

    // Device presence, from the HID transport after each rebuild.
    void DevicePresent();
    void NoDevicePresent();
    // The unit is present but not open to this user.
    void DeviceNotPermitted();
    // Both link buttons; also the start of every connection.
    void StartConnection();

    // The link label's colour and the progress shown: 0 no device, 1 device
    // present, 2 progress shown, 3 progress hidden (linked).
    void ShowLinkStatus(int kind, int percent);

    // --- Commands -----------------------------------------------------------
    // The single entry point for parameter changes.
    void SendParameter(int address, std::int32_t value);
    // Stores a change in the shown image, and in the device image unless a
    // transfer runs (see ChangeQueue.cpp); SendParameter stores this way.
    void StoreChange(int address, std::int32_t value);
    // Reads pages 0 and 1 into the device image, as a connection does.
    void ReadAll();
    // Reads page 1 again, as after a mode recall.
    void ReloadPageOne();
    // Writes page 1 of the device image (a preset); only when linked and idle.
    void WriteAll();
    // A save the user has confirmed: the link is busy from now on, until the
    // save has been acknowledged, also while it still waits its turn.
    void HoldForSave();
    // Programmatic updates of the windows: store changes, send nothing.
    void SuppressSends(bool suppressed) { vars_.sendSuppressed = suppressed ? 1 : 0; }

    // One whole input report from any taken device.
    void OnReply(std::span<const std::uint8_t> reply);

    // Tick handlers of the three timers.
    void Timer1Timer();
    void Timer2Timer();
    void HoldTimerTimer();

    void TransferStep(int step, int direction);

    // --- Queries -------------------------------------------------------------
    LinkStatus Status() const;
    // Linked and idle: single changes go out at once.
    bool Linked() const { return vars_.linkState == kLinkedIdle; }
    // A device is present (linked or busy with it).
    bool Present() const { return vars_.linkState != kNotLinked; }
    // Linked, idle, and the unit has acknowledged since the last change went
    // out: nothing waits, nothing is repeated, no mode command or transfer runs.
    bool Quiet() const;
    bool TransferRunning() const { return timers_.transfer.IsActive(); }
    // Whether the last (or running) block transfer wrote to the unit.
    bool LastTransferWrote() const { return vars_.transfer.direction == 1; }
    // A mode recall or save went out and its acknowledgement is awaited.
    bool ModeWaiting() const { return vars_.waitReason != 0; }
    bool SendsSuppressed() const { return vars_.sendSuppressed != 0; }
    // Changes sent or waiting that the unit has not acknowledged yet.
    int ChangesOutstanding() const { return vars_.queue.count + (vars_.ready == 1 ? 0 : 1); }
    // A preset's write-all runs only from the linked, idle state.
    bool CanWriteAll() const { return Linked(); }

    // Replaces the watcher (an empty LinkWatch removes it).
    void Watch(LinkWatch watch) { watch_ = std::move(watch); }

    // Every variable, for the link's own tests and traces.
    const LinkVars& Vars() const { return vars_; }

private:
    // Tells the view the status it changed to (the link label's text).
    void SetStatus(LinkStatus status);
    void RaiseLinkEvent(int code);
    int TransferPercent() const;
    void StopTransferTimers();
    void BeginTransfer(int direction, int firstPage);

    void OnConnectRead();
    void OnReloadModeParams();
    LinkOutcome TransferOutcome() const;
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
    void HoldTick();
    int NextHoldTicks() const;
    bool NextHoldTickIsQuiet() const;
    void CatchUpHold();

    ParamStore& store_;
    FrameSender& sender_;
    LinkView& view_;
    Timers timers_;
    LinkVars vars_;
    LinkStatus status_ = LinkStatus::Connecting;
    LinkWatch watch_;
};

}  // namespace tr640
