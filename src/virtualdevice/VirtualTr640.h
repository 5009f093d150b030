// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/Frames.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

namespace tr640 {

// A stand-in for the TR640 at the far end of the USB link. It takes output
// reports exactly as the program writes them, keeps its own parameter memory
// and five stored user modes, and answers with whole input reports through
// the reply callback. Everything is deterministic, including the faults it
// can be told to show, so tests and the demo see the same traffic every run.
class VirtualTr640 {
public:
    // Input reports of the device are as long as its output reports: the
    // report id and 64 bytes.
    static constexpr std::size_t kInputReportLength = kFrameBufferSize;

    static constexpr std::size_t kPageCount = 2;
    static constexpr std::size_t kPageSize = 256;
    static constexpr std::size_t kUserModeCount = 5;
    static constexpr std::size_t kBlockValues = 10;

    // Page 0 indices that are commands rather than settings.
    static constexpr std::uint8_t kModeRecallIndex = 12;
    static constexpr std::uint8_t kModeSaveIndex = 13;

    // Accepting status codes. The program treats all four alike; the device
    // uses them to tell what it did, which makes traffic logs easier to read.
    static constexpr std::uint16_t kStatusAccepted = 0x0002;      // key, single write, control code
    static constexpr std::uint16_t kStatusBlockStored = 0x0004;   // block of ten values stored
    static constexpr std::uint16_t kStatusModeRecalled = 0x0007;  // user mode loaded into page 1
    static constexpr std::uint16_t kStatusModeSaved = 0x0008;     // page 1 stored as a user mode

    // Length byte of the two replies: it counts the bytes after itself up to
    // and including the check byte.
    static constexpr std::uint8_t kStatusReplyLength = 6;
    static constexpr std::uint8_t kReadReplyLength = 26;

    // One whole input report. The sink gets it for the length of the call.
    using Reply = std::array<std::uint8_t, kInputReportLength>;
    using ReplySink = std::function<void(std::span<const std::uint8_t>)>;
    using Page = std::array<std::uint16_t, kPageSize>;

    struct Counters {
        std::size_t framesReceived = 0;  // every output report handed in
        std::size_t framesAccepted = 0;  // taken and acted on
        std::size_t framesRejected = 0;  // answered (or meant to be) with the error status
        std::size_t framesIgnored = 0;   // swallowed while silent
        std::size_t repliesSent = 0;     // input reports handed to the sink, duplicates included
        std::size_t repliesDropped = 0;  // replies lost by the drop fault
    };

    // One accepted write in arrival order. A block write shows up as its ten
    // values at their parameter addresses; control codes at their own address.
    struct WriteRecord {
        std::uint16_t address = 0;
        std::uint16_t value = 0;
        bool operator==(const WriteRecord&) const = default;
    };

    VirtualTr640();

    // --- Traffic -----------------------------------------------------------

    void SetReplySink(ReplySink sink) { sink_ = std::move(sink); }

    // One output report as the program writes it; byte 0 is the report id.
    void ReceiveOutputReport(std::span<const std::uint8_t> report);

    // Advances the device's clock by one tick; releases delayed replies whose
    // time has come, oldest first.
    void Tick();

    // Replies waiting for their delay to run out.
    std::size_t PendingReplies() const { return delayed_.size(); }

    // --- Memory ------------------------------------------------------------

    // Reads outside the two pages give 0; writes outside them are dropped.
    std::uint16_t Value(std::uint8_t page, std::size_t index) const;
    std::uint16_t Value(std::uint16_t address) const {
        return Value(static_cast<std::uint8_t>(address >> 8), address & 0xFFu);
    }
    void SetValue(std::uint8_t page, std::size_t index, std::uint16_t value);
    void SetValue(std::uint16_t address, std::uint16_t value) {
        SetValue(static_cast<std::uint8_t>(address >> 8), address & 0xFFu, value);
    }

    // Stored user modes, numbered 1 to 5 as the device's front panel counts them.
    const Page& UserMode(std::size_t mode) const { return userModes_.at(mode - 1); }
    void SetUserMode(std::size_t mode, const Page& page) { userModes_.at(mode - 1) = page; }

    // Puts memory and user modes back to the factory contents; the key, the
    // counters, the log and the fault settings stay.
    void FactoryReset();

    // --- Link state ----------------------------------------------------------

    bool KeyLearned() const { return keyLearned_; }
    const LinkKey& Key() const { return key_; }

    const Counters& Stats() const { return counters_; }
    const std::vector<WriteRecord>& WriteLog() const { return writeLog_; }
    // Writes of parameter values that the refuse fault turned away, in
    // arrival order and in the same form: what the device would have stored.
    const std::vector<WriteRecord>& RefusedLog() const { return refusedLog_; }
    // Empties both logs.
    void ClearWriteLog() {
        writeLog_.clear();
        refusedLog_.clear();
    }

    // --- Faults --------------------------------------------------------------
    // Each "every n-th" fault counts its own events from 1 and fires on event
    // n, 2n, ...; n = 0 turns it off.

    // Deaf and mute: frames are counted as received and otherwise ignored.
    void SetSilent(bool silent) { silent_ = silent; }
    // The frame is acted on but its reply is lost on the way back.
    void SetDropEveryNth(std::size_t n) { dropEvery_ = n; dropCount_ = 0; }
    // Every reply is held until this many ticks have passed.
    void SetReplyDelay(std::size_t ticks) { delayTicks_ = ticks; }
    // Every reply goes out twice, back to back.
    void SetDuplicateReplies(bool duplicate) { duplicate_ = duplicate; }
    // Every n-th reply has byte `index` XORed with `mask` after its check
    // bytes were made, as a line fault would.
    void SetCorruptEveryNth(std::size_t n, std::size_t index, std::uint8_t mask);
    // Every n-th frame that would have been accepted is refused instead: it
    // changes nothing and is answered with the error status.
    void SetRefuseEveryNth(std::size_t n) { refuseEvery_ = n; refuseCount_ = 0; }
    // Turns every fault off.
    void ClearFaults();

private:
    struct DecodedFrame {
        std::uint8_t length = 0;
        std::uint8_t command = 0;
        std::uint16_t address = 0;
        std::uint8_t data6 = 0;
        std::uint8_t data7 = 0;
        std::uint16_t Value() const { return static_cast<std::uint16_t>(data6 << 8 | data7); }
    };
    struct Outcome {
        bool accepted = false;
        std::uint8_t command = proto::kCmdWrite;
        std::uint16_t status = proto::kStatusError;
        bool readReply = false;
        std::uint8_t page = 0;
        std::uint8_t first = 0;
    };
    struct DelayedReply {
        std::size_t dueTick = 0;
        Reply report{};
    };

    Outcome HandleKeyFrame(std::span<const std::uint8_t> report);
    Outcome HandleDataFrame(std::span<const std::uint8_t> report);
    Outcome HandleWrite(const DecodedFrame& frame, std::span<const std::uint8_t> plain);
    Outcome HandleRead(const DecodedFrame& frame);
    bool RefuseThisOne();

    Reply BuildStatusReply(std::uint8_t command, std::uint16_t code) const;
    Reply BuildReadReply(std::uint8_t page, std::uint8_t first) const;
    void SendReply(Reply report);
    void Deliver(const Reply& report);

    ReplySink sink_;
    std::array<Page, kPageCount> pages_{};
    std::array<Page, kUserModeCount> userModes_{};
    LinkKey key_{};
    bool keyLearned_ = false;

    Counters counters_;
    std::vector<WriteRecord> writeLog_;
    std::vector<WriteRecord> refusedLog_;

    bool silent_ = false;
    std::size_t dropEvery_ = 0, dropCount_ = 0;
    std::size_t delayTicks_ = 0;
    bool duplicate_ = false;
    std::size_t corruptEvery_ = 0, corruptCount_ = 0, corruptIndex_ = 0;
    std::uint8_t corruptMask_ = 0;
    std::size_t refuseEvery_ = 0, refuseCount_ = 0;

    std::size_t now_ = 0;
    std::deque<DelayedReply> delayed_;
};

}  // namespace tr640
