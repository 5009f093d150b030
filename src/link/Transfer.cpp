// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Link.h"
#include "model/ParamAddress.h"

#include <array>
#include <cmath>

namespace tr640 {

namespace {
// Transfer timer ticks: a request unanswered for more than this many ticks
// is marked retried (page 0 requests are sent once more) ...
constexpr int kRetryAfterTicks = 10;
// ... and a retried request still unanswered after this many more fails the
// connection. The tick counter is held here.
constexpr int kFailAfterTicks = 100;
}  // namespace

int Link::TransferPercent() const {
    const TransferVars& t = vars_.transfer;
    if (t.lastPage == 0) return 0;
    return static_cast<int>(std::lround(100.0 * t.page / t.lastPage));
}

void Link::TransferStep(int step, int direction) {
    const TransferVars& t = vars_.transfer;
    const bool endCode = step == t.lastPage + 1;
    if (direction == 0) {
        if (step <= kLastPage) {
            vars_.transfer.requested |= RequestBit(t.address);
            sender_.SendCommand(proto::kCmdRead, proto::kAddrReadRequest, t.address);
        } else if (endCode) {
            sender_.SendControl(proto::kCtlReadDone);
        }
        return;
    }
    if (step <= kLastPage) {
        const int page = t.address / 256;
        const int first = t.address % 256;
        std::array<std::uint8_t, proto::kBlockDataSize + 1> block{};  // + the filler byte the frame copies
        block[0] = static_cast<std::uint8_t>(page);
        block[1] = static_cast<std::uint8_t>(first);
        for (int i = 0; i < 10; ++i) {
            // The device takes index 0..84 of a page; the rest of the block is padding.
            const std::int32_t v = first + i <= kDeviceIndexLimit ? store_.Device(page, first + i) : 0;
            const WireWord w = EncodeWord(v);
            block[2 + 2 * i] = w.high;
            block[3 + 2 * i] = w.low;
        }
        sender_.SendBlock(proto::kCmdWrite, proto::kAddrBlockWrite, proto::kBlockPayload, block);
    } else if (endCode) {
        sender_.SendControl(proto::kCtlWriteDone);
    }
}

// Every transfer first silences the connect timer and the change queue.
// Queued changes that the transfer covers are dropped: the connect read
// replaces everything the windows show with what the unit has, and a
// transfer of page 1 supersedes waiting page-1 changes; waiting page-0
// changes outlive a page-1 transfer and go out after it. The pending
// repeat of the last change sent is dropped too: sent again after the
// transfer, it would put an old value over what the transfer wrote or what
// the windows now show from the device.
void Link::BeginTransfer(int direction, int firstPage) {
    timers_.connect.Stop();
    if (firstPage == 0) {
        EndModeWait();
    } else {
        KeepOnlyPageZeroChanges();
    }
    vars_.repeatLast = 0;
    vars_.transfer.requested = 0;
    vars_.transfer.firstPage = firstPage;
    timers_.hold.Stop();
    if (watch_.transferBegun) watch_.transferBegun(direction, firstPage);
}

void Link::OnConnectRead() {
    BeginTransfer(0, 0);
    TransferVars& t = vars_.transfer;
    t.lastPage = kLastPage;
    t.direction = 0;
    t.page = 0;
    t.state = kTransferIdle;
    t.ticks = 0;
    t.address = 0;
    t.block = 0;
    if (vars_.linkState == kLinkedIdle) vars_.linkState = kLinkedBusy;
    TransferStep(0, 0);
    SetStatus(LinkStatus::Reading);
    ShowLinkStatus(2, 0);
    timers_.transfer.Start();
}

void Link::OnReloadModeParams() {
    // Only page 1 changes with a user mode; page 0 is not read again.
    BeginTransfer(0, 1);
    TransferVars& t = vars_.transfer;
    t.page = 1;
    t.lastPage = kLastPage;
    t.direction = 0;
    t.block = 0;
    t.address = MakeAddress(1, 0);
    SetStatus(LinkStatus::Reloading);
    ShowLinkStatus(2, 0);
    TransferStep(1, 0);
    WaitForFirstReply();
    if (vars_.linkState == kLinkedIdle) vars_.linkState = kLinkedBusy;
    timers_.transfer.Start();
}

void Link::ReadAll() { RaiseLinkEvent(kEventConnectRead); }

void Link::ReloadPageOne() { OnReloadModeParams(); }

void Link::WriteAll() {
    if (!CanWriteAll()) return;
    BeginTransfer(1, 1);
    TransferVars& t = vars_.transfer;
    t.address = MakeAddress(1, 0);
    t.page = 1;
    t.lastPage = kLastPage;
    t.direction = 1;
    t.block = 0;
    SetStatus(LinkStatus::Writing);
    vars_.linkState = kLinkedBusy;
    TransferStep(1, 1);
    WaitForFirstReply();
    timers_.transfer.Start();
}

// The first request of a transfer waits for its own answer like every other:
// whatever reply came before it (the acknowledgement of the mode recall or
// of a keep-alive) does not answer it, and taking it for one would skip the
// first block, unread or unconfirmed.
void Link::WaitForFirstReply() {
    vars_.transfer.state = kTransferWaiting;
    vars_.transfer.ticks = 0;
}

bool Link::ReadTransferRunning() const { return timers_.transfer.IsActive() && vars_.transfer.direction == 0; }

bool Link::ReadingBlocks() const {
    return ReadTransferRunning() && vars_.transfer.page <= vars_.transfer.lastPage;
}

// Changes still waiting here are page-0 changes that a page-1 transfer kept
// (see BeginTransfer); the hold timer sends them now.
void Link::OnTransferComplete() {
    view_.RefreshAll();
    vars_.linkState = kLinkedIdle;
    vars_.deviceAnswered = 0;
    vars_.framesUnanswered = 0;  // the end code was answered: the frames before it were too
    vars_.changeUnanswered = false;
    vars_.ticksUnanswered = 0;
    vars_.awaitingAnswer = false;
    vars_.framesIntoSilence = 0;
    SetStatus(LinkStatus::Linked);
    ShowLinkStatus(3, TransferPercent());
    timers_.hold.Start();
    view_.SelectFirstBandField();
    view_.Report(TransferOutcome());
}

LinkOutcome Link::TransferOutcome() const {
    if (vars_.transfer.direction == 1) return LinkOutcome::PageOneWritten;
    return vars_.transfer.firstPage == 0 ? LinkOutcome::Connected : LinkOutcome::PageOneRead;
}

void Link::AdvanceTransfer() {
    TransferVars& t = vars_.transfer;
    if (t.block == kBlocksPerPage[t.page]) {
        t.block = 0;
        ++t.page;
    } else {
        ++t.block;
    }
    t.address = t.page * 256 + t.block * 10;
    TransferStep(t.page, t.direction);
}

void Link::Timer2Timer() {
    TransferVars& t = vars_.transfer;
    if (t.ticks < kFailAfterTicks) ++t.ticks;
    ShowLinkStatus(2, TransferPercent());

    if (t.state == kTransferReplyIn) {
        // Only this tick advances, one step at most, so a reply that arrives
        // twice never skips a block.
        if (t.page > t.lastPage) {
            t.state = kTransferIdle;
            timers_.transfer.Stop();
            RaiseLinkEvent(kEventTransferComplete);
        } else {
            AdvanceTransfer();
        }
        t.state = kTransferWaiting;
        t.ticks = 0;
    } else if ((t.state == kTransferWaiting || t.state == kTransferIdle) && t.ticks > kRetryAfterTicks) {
        // A first request that gets no answer at all leaves the state Idle;
        // it times out like any other, so a lost reply cannot hang the link.
        if (t.page == 0) TransferStep(0, t.direction);
        t.state = kTransferRetried;
        t.ticks = 0;
    } else if (t.state == kTransferRetried && t.ticks >= kFailAfterTicks) {
        t.state = kTransferIdle;
        RaiseLinkEvent(kEventConnectFailed);
    }
}

}  // namespace tr640
