// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>

namespace tr640 {

// Whether a device is there and whether single changes may go to it.
enum LinkStateValue : int {
    kNotLinked = 0,   // no matching device present
    kLinkedBusy = 1,  // connecting, transferring, waiting for a mode command, or lost
    kLinkedIdle = 2,  // single changes go to the device at once
};

// Link events. The numbers are fixed: the change queue stores 2 and 3 as
// the event to raise once the device acknowledges a mode command.
enum LinkEvent : int {
    kEventTransferComplete = 1,
    kEventReloadModeParams = 2,
    kEventSaveDone = 3,
    kEventConnectRead = 4,
    kEventWriteAll = 6,
    kEventConnectionLost = 7,
    kEventConnectFailed = 9,
};

// What the link is doing, as the main window's link label follows it. The
// label changes from Reading on; NoUnit and Connecting leave it as it was.
enum class LinkStatus : int {
    NoUnit,         // no TR640 present
    Connecting,     // the key offered until the unit takes it
    Reading,        // the connect read of pages 0 and 1
    Reloading,      // page 1 read again: a recalled mode, or a read-back
    Writing,        // page 1 written: a preset's values
    Linked,         // idle: single changes go out at once
    RecallWaiting,  // a mode recall went out; its acknowledgement is awaited
    SaveWaiting,    // a mode save went out; its acknowledgement is awaited
    Saving,         // a save the user confirmed, before it goes out
    NotLinked,      // a connect failed or the link was lost; the unit may still be there
};

// What became of something the link did, once: each front end chooses what
// to tell (a box, an exit code, a message to a broker).
enum class LinkOutcome : int {
    Connected,       // pages 0 and 1 read: the windows show the unit's values
    PageOneRead,     // page 1 read again after a recall or when asked
    PageOneWritten,  // page 1 written (a preset's values) and confirmed
    ModeSaved,       // the unit acknowledged a mode save
    ConnectFailed,   // a transfer request went unanswered too long
    ConnectionLost,  // the unit stopped answering keep-alives, changes or a mode command
    Refused,         // the unit answered a frame with an error status
    NotPermitted,    // the unit is there, but its node may not be opened
    HeldByOther,     // the unit is there, but another program holds its lock
};

enum TransferStateValue : int {
    kTransferIdle = 0,
    kTransferReplyIn = 2,
    kTransferWaiting = 3,
    kTransferRetried = 4,
};

// Where a block transfer stands. `page` is lastPage + 1 while the end code
// is outstanding.
struct TransferVars {
    int direction = 0;  // 0 read from the device, 1 write to it
    int firstPage = 0;  // 0 for the connect read, 1 for the page-1 transfers
    int page = 0;
    int lastPage = 0;
    int block = 0;
    int address = 0;    // page * 256 + block * 10
    int ticks = 0;      // transfer timer ticks since the last request, held at 100
    int state = kTransferIdle;
    // The blocks a read transfer has asked for, one bit each (see
    // RequestBit): only their replies may reach the device image.
    std::uint32_t requested = 0;
};

// The bit of the block at `address` in TransferVars::requested; 0 for an
// address that no transfer asks for (not the start of a block of a page).
constexpr std::uint32_t RequestBit(int address) {
    const int page = address / 256;
    const int index = address % 256;
    if (page < 0 || page > 1 || index % 10 != 0 || index / 10 > 15) return 0;
    return std::uint32_t{1} << (page * 16 + index / 10);
}

// Changes waiting for the device. Entry 0 is the change sent last; entries
// 1..count wait, oldest first. A fixed array: a dragged slider calls into it
// at every position, so it must never allocate.
struct PendingQueue {
    static constexpr int kEntries = 97;
    static constexpr int kMaxWaiting = 96;
    std::array<std::int32_t, kEntries> addresses{};
    std::array<std::int32_t, kEntries> values{};
    int count = 0;
};

// All state of the link, one instance for the run.
struct LinkVars {
    int linkState = kNotLinked;
    int deviceAnswered = 0;
    TransferVars transfer;
    PendingQueue queue;
    int ready = 0;          // the device acknowledged since the last frame went out
    int repeatLast = 0;     // the last change of a burst goes out twice
    int holdTicks = 0;      // hold timer ticks since the last event of interest
    int retryCount = 0;     // unanswered keep-alive periods / mode wait periods
    int waitReason = 0;     // link event to raise once a mode command is acknowledged
    int modeAcknowledged = 0; // the device accepted a frame since the mode command went out
    int framesUnanswered = 0; // queue and keep-alive frames sent and not yet answered
    bool awaitingAnswer = false; // a queue or keep-alive frame went out since the last answer
    int ticksUnanswered = 0;     // hold ticks since the last answer while awaiting one
    int framesIntoSilence = 0;   // queue and keep-alive frames sent since the last answer
    int sendSuppressed = 0; // store changes but send nothing (programmatic updates)
    bool changeUnanswered = false; // a change went out and no accepting answer came since
};

}  // namespace tr640
