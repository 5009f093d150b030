// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualdevice/VirtualTr640.h"

#include <algorithm>
#include <numeric>

namespace tr640 {

namespace {

// Bytes of a data frame that the checksum covers: 0 to 29.
constexpr std::size_t kCheckedBytes = proto::kChecksumIndex + 1;
// A KeyFrame must at least reach the end of its check copy.
constexpr std::size_t kKeyFrameMinimum = proto::kKeyCheckOffset + 6;
// Length byte of a CommandFrame and of the BlockFrame in use.
constexpr std::uint8_t kCommandLength = proto::kCommandLengthByte;
constexpr std::uint8_t kBlockLength = proto::kBlockPayload + 4;

constexpr std::size_t kFirstBandMic1 = 2;
constexpr std::size_t kFirstBandMic2 = 27;
constexpr std::size_t kBandsPerMic = 5;
constexpr std::size_t kSlotsPerBand = 5;

std::uint8_t SumOf(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(
        std::accumulate(bytes.begin(), bytes.end(), 0u, [](unsigned a, std::uint8_t b) { return a + b; }));
}

constexpr std::uint16_t CurvePoint(int inputDb, int outputDb) {
    return static_cast<std::uint16_t>((inputDb + 200) * 256 + (outputDb + 200));
}

// The settings the unit leaves the factory with: a gentle speech curve on
// both microphones and a mild three-band compressor.
VirtualTr640::Page FactoryMicPage() {
    VirtualTr640::Page page{};
    page[0] = 0x1100;  // housekeeping words: the program stores them, shows nothing
    page[1] = 0x1101;

    struct Band {
        std::uint16_t type, frequency, gain, qParametric, qOther;
    };
    // Type codes: 0 parametric, 1 low shelf, 2 high shelf, 3 high pass, 4 low pass.
    // Gains are in steps of 0.2 dB around 150 (0 dB).
    constexpr Band mic1[kBandsPerMic] = {
        {3, 100, 150, 36, 18}, {0, 250, 140, 40, 20}, {0, 1000, 150, 44, 22},
        {0, 4000, 160, 40, 20}, {2, 10000, 155, 36, 18}};
    constexpr Band mic2[kBandsPerMic] = {
        {3, 80, 150, 30, 16}, {0, 315, 145, 42, 21}, {0, 1250, 155, 46, 23},
        {0, 5000, 160, 42, 21}, {4, 12000, 150, 30, 16}};
    auto putBands = [&page](std::size_t base, const Band (&bands)[kBandsPerMic]) {
        for (std::size_t b = 0; b < kBandsPerMic; ++b) {
            const std::size_t at = base + kSlotsPerBand * b;
            page[at + 0] = bands[b].type;
            page[at + 1] = bands[b].frequency;
            page[at + 2] = bands[b].gain;
            page[at + 3] = bands[b].qParametric;
            page[at + 4] = bands[b].qOther;
        }
    };
    putBands(kFirstBandMic1, mic1);
    putBands(kFirstBandMic2, mic2);

    page[52] = 100;   // microphone 1 input volume, percent
    page[53] = 0;     // microphone 1 phase normal
    page[54] = 110;   // microphone 2 input volume, percent
    page[55] = 0;     // microphone 2 phase normal
    page[56] = 2;     // PowerEx level
    page[57] = 150;   // low / mid crossover, Hz
    page[58] = 3000;  // mid / high crossover, Hz

    // Dynamics bands low, mid, high: attack ms, hold ms, release factor, then
    // five curve points in rising input order.
    constexpr std::uint16_t timing[3][3] = {{20, 50, 4}, {10, 40, 6}, {5, 30, 8}};
    constexpr std::uint16_t curve[3][5] = {
        {CurvePoint(-90, -90), CurvePoint(-70, -70), CurvePoint(-40, -40), CurvePoint(-20, -24), CurvePoint(0, -12)},
        {CurvePoint(-90, -90), CurvePoint(-60, -60), CurvePoint(-30, -30), CurvePoint(-15, -18), CurvePoint(0, -8)},
        {CurvePoint(-90, -90), CurvePoint(-50, -50), CurvePoint(-25, -25), CurvePoint(-10, -13), CurvePoint(0, -6)}};
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t at = 59 + 8 * k;
        for (std::size_t i = 0; i < 3; ++i) page[at + i] = timing[k][i];
        for (std::size_t i = 0; i < 5; ++i) page[at + 3 + i] = curve[k][i];
    }
    return page;
}

VirtualTr640::Page FactorySystemPage() {
    VirtualTr640::Page page{};
    for (std::size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10}) page[i] = static_cast<std::uint16_t>(0x1000 + i);
    page[8] = 3;   // noise gate level
    page[11] = 2;  // anti-feedback
    page[12] = 0;  // last recalled mode
    page[13] = 0;  // last saved mode
    page[14] = 80; // master volume, percent
    return page;
}

// Stored user mode n (1..5): the factory page with every band's gain and
// frequency moved by an amount that grows with n, so recalling any mode
// visibly changes page 1 and no two modes look alike.
VirtualTr640::Page FactoryUserMode(std::size_t n, const VirtualTr640::Page& factory) {
    VirtualTr640::Page page = factory;
    for (std::size_t base : {kFirstBandMic1, kFirstBandMic2}) {
        for (std::size_t b = 0; b < kBandsPerMic; ++b) {
            const std::size_t at = base + kSlotsPerBand * b;
            page[at + 1] = static_cast<std::uint16_t>(factory[at + 1] * (10 + n) / 10);
            page[at + 2] = static_cast<std::uint16_t>(150 + 6 * n - 4 * b);
        }
    }
    page[52] = static_cast<std::uint16_t>(100 + 10 * n);
    page[54] = static_cast<std::uint16_t>(100 + 12 * n);
    page[56] = static_cast<std::uint16_t>(n % 5);
    return page;
}

}  // namespace

VirtualTr640::VirtualTr640() { FactoryReset(); }

void VirtualTr640::FactoryReset() {
    pages_[0] = FactorySystemPage();
    pages_[1] = FactoryMicPage();
    for (std::size_t n = 1; n <= kUserModeCount; ++n) userModes_[n - 1] = FactoryUserMode(n, pages_[1]);
}

std::uint16_t VirtualTr640::Value(std::uint8_t page, std::size_t index) const {
    if (page >= kPageCount || index >= kPageSize) return 0;
    return pages_[page][index];
}

void VirtualTr640::SetValue(std::uint8_t page, std::size_t index, std::uint16_t value) {
    if (page >= kPageCount || index >= kPageSize) return;
    pages_[page][index] = value;
}

void VirtualTr640::SetCorruptEveryNth(std::size_t n, std::size_t index, std::uint8_t mask) {
    corruptEvery_ = n;
    corruptCount_ = 0;
    corruptIndex_ = index;
    corruptMask_ = mask;
}

void VirtualTr640::ClearFaults() {
    silent_ = false;
    SetDropEveryNth(0);
    delayTicks_ = 0;
    duplicate_ = false;
    SetCorruptEveryNth(0, 0, 0);
    SetRefuseEveryNth(0);
}

// --- Frames in ---------------------------------------------------------------

void VirtualTr640::ReceiveOutputReport(std::span<const std::uint8_t> report) {
    ++counters_.framesReceived;
    if (silent_) {
        ++counters_.framesIgnored;
        return;
    }

    Outcome outcome;
    if (!report.empty() && report[0] == proto::kKeyReportId) {
        outcome = HandleKeyFrame(report);
    } else if (!report.empty() && report[0] == proto::kDataReportId) {
        outcome = HandleDataFrame(report);
    }

    if (outcome.accepted) {
        ++counters_.framesAccepted;
    } else {
        ++counters_.framesRejected;
        outcome.readReply = false;
        outcome.status = proto::kStatusError;
    }
    SendReply(outcome.readReply ? BuildReadReply(outcome.page, outcome.first)
                                : BuildStatusReply(outcome.command, outcome.status));
}

bool VirtualTr640::RefuseThisOne() {
    if (refuseEvery_ == 0) return false;
    return ++refuseCount_ % refuseEvery_ == 0;
}

VirtualTr640::Outcome VirtualTr640::HandleKeyFrame(std::span<const std::uint8_t> report) {
    Outcome out;  // the key is answered like a write
    if (report.size() < kKeyFrameMinimum) return out;
    if (report[1] != 0x01 || report[2] != proto::kFrameMarker || report[3] != proto::kDeviceTypeCode) return out;

    LinkKey key{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = report[proto::kKeyOffset + i];
        const auto expected = static_cast<std::uint8_t>(key[i] ^ proto::kKeyCheckMask ^ i);
        if (report[proto::kKeyCheckOffset + i] != expected) return out;
    }
    if (RefuseThisOne()) return out;

    key_ = key;
    keyLearned_ = true;
    out.accepted = true;
    out.status = kStatusAccepted;
    return out;
}

VirtualTr640::Outcome VirtualTr640::HandleDataFrame(std::span<const std::uint8_t> report) {
    Outcome out;
    if (report.size() < kCheckedBytes) return out;

    std::array<std::uint8_t, kCheckedBytes> plain{};
    std::copy_n(report.begin(), kCheckedBytes, plain.begin());
    for (std::size_t i = 0; i < key_.size(); ++i) plain[proto::kScrambledFirst + i] ^= key_[i];

    DecodedFrame frame{plain[2], plain[3], static_cast<std::uint16_t>(plain[4] << 8 | plain[5]), plain[6], plain[7]};
    // Echo the command in the reply even when the frame is refused, as long
    // as it is one the device knows.
    out.command = frame.command == proto::kCmdRead ? proto::kCmdRead : proto::kCmdWrite;

    if (plain[1] != proto::kFrameMarker) return out;
    if (SumOf(plain) != 0) return out;

    if (frame.command == proto::kCmdWrite) return HandleWrite(frame, plain);
    if (frame.command == proto::kCmdRead) return HandleRead(frame);
    return out;
}

VirtualTr640::Outcome VirtualTr640::HandleRead(const DecodedFrame& frame) {
    Outcome out;
    out.command = proto::kCmdRead;
    if (frame.address != proto::kAddrReadRequest || frame.length != kCommandLength) return out;
    if (RefuseThisOne()) return out;

    out.accepted = true;
    out.readReply = true;
    out.page = frame.data6;
    out.first = frame.data7;
    return out;
}

VirtualTr640::Outcome VirtualTr640::HandleWrite(const DecodedFrame& frame, std::span<const std::uint8_t> plain) {
    Outcome out;
    const std::uint8_t page = static_cast<std::uint8_t>(frame.address >> 8);
    const std::uint8_t index = static_cast<std::uint8_t>(frame.address & 0xFF);
    const std::uint16_t value = frame.Value();

    if (frame.address == proto::kAddrBlockWrite) {
        // Bytes 6 and 7 name the block; the ten values follow unscrambled.
        if (frame.length != kBlockLength || frame.data6 >= kPageCount) return out;
        const bool refused = RefuseThisOne();
        for (std::size_t j = 0; j < kBlockValues; ++j) {
            const std::size_t at = frame.data7 + j;
            const auto v = static_cast<std::uint16_t>(plain[8 + 2 * j] << 8 | plain[9 + 2 * j]);
            if (at >= kPageSize) continue;  // past the end of the page: nowhere to keep it
            const WriteRecord record{static_cast<std::uint16_t>(frame.data6 << 8 | at), v};
            if (refused) {
                refusedLog_.push_back(record);
                continue;
            }
            pages_[frame.data6][at] = v;
            writeLog_.push_back(record);
        }
        if (refused) return out;
        out.accepted = true;
        out.status = kStatusBlockStored;
        return out;
    }

    if (frame.length != kCommandLength) return out;

    if (frame.address == proto::kAddrControl) {
        if (value != proto::kCtlReadDone && value != proto::kCtlWriteDone && value != proto::kCtlKeepAlive) return out;
        if (RefuseThisOne()) return out;
        writeLog_.push_back({frame.address, value});
        out.accepted = true;
        out.status = kStatusAccepted;
        return out;
    }

    if (frame.address == proto::kAddrReadRequest || page >= kPageCount) return out;

    // Mode commands take the mode number 0..4, which stands for user mode 1..5.
    const bool modeCommand = page == 0 && (index == kModeRecallIndex || index == kModeSaveIndex);
    if (modeCommand && value >= kUserModeCount) return out;
    if (RefuseThisOne()) {
        refusedLog_.push_back({frame.address, value});
        return out;
    }

    pages_[page][index] = value;
    writeLog_.push_back({frame.address, value});
    out.accepted = true;
    out.status = kStatusAccepted;
    if (modeCommand && index == kModeRecallIndex) {
        pages_[1] = userModes_[value];
        out.status = kStatusModeRecalled;
    } else if (modeCommand) {
        userModes_[value] = pages_[1];
        out.status = kStatusModeSaved;
    }
    return out;
}

// --- Replies out ---------------------------------------------------------------
//
// The device puts its check byte where its own length byte says, at 2 + L,
// so that bytes 0 to 2 + L sum to 0 like the program's frames. The host
// checks the last byte of the whole report instead, so the last byte is made
// the check over everything before it too. With zero filler that byte comes
// out as 0; it is still computed, so both readings of a reply agree whatever
// the filler holds.

VirtualTr640::Reply VirtualTr640::BuildStatusReply(std::uint8_t command, std::uint16_t code) const {
    Reply r{};
    r[0] = proto::kDataReportId;
    r[1] = proto::kFrameMarker;
    r[2] = kStatusReplyLength;
    r[3] = command;
    r[4] = static_cast<std::uint8_t>(proto::kAddrStatus >> 8);
    r[5] = static_cast<std::uint8_t>(proto::kAddrStatus & 0xFF);
    r[6] = static_cast<std::uint8_t>(code >> 8);
    r[7] = static_cast<std::uint8_t>(code & 0xFF);
    const std::size_t check = 2 + kStatusReplyLength;
    r[check] = NegatedSum(std::span(r).first(check));
    r.back() = NegatedSum(std::span(r).first(r.size() - 1));
    return r;
}

VirtualTr640::Reply VirtualTr640::BuildReadReply(std::uint8_t page, std::uint8_t first) const {
    Reply r{};
    r[0] = proto::kDataReportId;
    r[1] = proto::kFrameMarker;
    r[2] = kReadReplyLength;
    r[3] = proto::kCmdRead;
    r[4] = static_cast<std::uint8_t>(proto::kAddrReadRequest >> 8);
    r[5] = static_cast<std::uint8_t>(proto::kAddrReadRequest & 0xFF);
    r[6] = page;
    r[7] = first;
    for (std::size_t j = 0; j < kBlockValues; ++j) {
        const std::uint16_t v = Value(page, first + j);
        r[8 + 2 * j] = static_cast<std::uint8_t>(v >> 8);
        r[9 + 2 * j] = static_cast<std::uint8_t>(v & 0xFF);
    }
    const std::size_t check = 2 + kReadReplyLength;
    r[check] = NegatedSum(std::span(r).first(check));
    r.back() = NegatedSum(std::span(r).first(r.size() - 1));
    return r;
}

void VirtualTr640::SendReply(Reply report) {
    if (dropEvery_ != 0 && ++dropCount_ % dropEvery_ == 0) {
        ++counters_.repliesDropped;
        return;
    }
    if (corruptEvery_ != 0 && ++corruptCount_ % corruptEvery_ == 0 && corruptIndex_ < report.size()) {
        report[corruptIndex_] ^= corruptMask_;
    }
    const int copies = duplicate_ ? 2 : 1;
    for (int c = 0; c < copies; ++c) {
        // Once anything waits, later replies queue behind it so the order holds.
        if (delayTicks_ == 0 && delayed_.empty()) {
            Deliver(report);
        } else {
            delayed_.push_back({now_ + delayTicks_, report});
        }
    }
}

void VirtualTr640::Tick() {
    ++now_;
    // Take the due replies out first: the sink may send the next frame at
    // once, and its reply must queue behind these.
    std::vector<Reply> due;
    while (!delayed_.empty() && delayed_.front().dueTick <= now_) {
        due.push_back(delayed_.front().report);
        delayed_.pop_front();
    }
    for (const auto& report : due) Deliver(report);
}

void VirtualTr640::Deliver(const Reply& report) {
    ++counters_.repliesSent;
    if (sink_) sink_(report);
}

}  // namespace tr640
