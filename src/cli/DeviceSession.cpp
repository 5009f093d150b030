// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DeviceSession.h"

#include "link/LinkPorts.h"
#include "model/Language.h"
#include "model/ParamAddress.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tr640 {

namespace {

constexpr std::size_t kTrafficLines = 200;
// How often a wait looks at the clock and for Ctrl-C between link events.
constexpr int kPollMs = 20;

// The link's messages, by the texts the windows know them by; the link
// shows them in the language the command line runs it in. Each one ends a
// wait.
constexpr char kConnectFailedText[] = "连接失败!";
constexpr char kDisconnectedText[] = "已断开连接!";
constexpr char kSaveDoneText[] = "保存成功!";

}  // namespace

// The windows, reduced to what a command needs: the link's messages become
// outcomes, the transfers' ends are counted, the traffic is kept for
// --verbose.
class DeviceSession::View final : public LinkView {
public:
    explicit View(DeviceSession& s) : s_(s) {}
    void SetLinkLabelText(const Bilingual& text) override { caption_ = text.english; }
    std::string LinkLabelCaption() const override { return caption_; }
    void SetLinkLabelColour(LinkColour) override {}
    void ShowStatusWindow(const std::string&, int) override {}
    void HideStatusWindow(int) override {}
    void ShowMessage(const std::string&, const std::string& text) override {
        const auto is = [&](const char* chinese) { return text == Translate(s_.language_, chinese); };
        if (is(kSaveDoneText)) {
            s_.saveDone_ = true;
        } else if (is(kConnectFailedText)) {
            s_.Fail(kExitTimeout, "the unit stopped answering during a transfer");
        } else if (is(kDisconnectedText)) {
            s_.Fail(kExitTimeout, "the unit stopped answering");
        } else {
            s_.Fail(kExitTimeout, text);
        }
    }
    void ShowPlainMessage(const std::string& text) override {
        s_.Fail(kExitRefused, "the unit refused a frame (" + text + ")");
    }
    void LogTraffic(const std::string& line) override { s_.AddTraffic(line); }
    void RefreshAll() override {
        s_.store_.CopyDeviceToShown();
        ++s_.refreshes_;
    }
    void SelectFirstBandField() override {}

private:
    DeviceSession& s_;
    std::string caption_;
};

// What the HID handlers report: presence goes to the link, a unit that goes
// away ends the command.
class DeviceSession::Port final : public HidLinkPort {
public:
    explicit Port(DeviceSession& s) : s_(s) {}
    void ClearDeviceLines() override {}
    void AddDeviceLine(const std::string&) override {}
    void SetCurrentDeviceLine(int) override {}
    void AddLogLine(const std::string& line) override { s_.AddTraffic(line); }
    bool AmendLastLogLine(const std::string& was, const std::string& now) override {
        if (s_.traffic_.empty() || s_.traffic_.back() != was) return false;
        s_.traffic_.back() = now;
        return true;
    }
    void DeviceNotPermitted() override {
        s_.Fail(kExitNoAccess,
                "the TR640 is present but may not be opened: install the udev rule 70-tr640.rules "
                "(see \"Access to the device\" in the README), then plug the unit in again");
    }
    void SetReportId(const std::string&) override {}
    void DevicePresent() override {
        s_.present_ = true;
        s_.link_->DevicePresent();
    }
    void NoDevicePresent() override {
        s_.link_->NoDevicePresent();
        s_.Fail(kExitNoUnit, s_.present_ ? "the unit went away" : "the TR640 is no longer present");
    }
    void ParseReply(std::span<const std::uint8_t> reply) override { s_.link_->OnReply(reply); }

private:
    DeviceSession& s_;
};

// The unit's connection, telling the session's hook when the first frame
// has been written.
class DeviceSession::StampedConnection final : public HidConnection {
public:
    StampedConnection(std::unique_ptr<HidConnection> inner, std::function<void()>& firstWrite)
        : inner_(std::move(inner)), firstWrite_(firstWrite) {}
    HidIoResult Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
        return inner_->Read(buffer, timeoutMs);
    }
    HidIoResult Write(std::span<const std::uint8_t> report) override {
        const HidIoResult result = inner_->Write(report);
        if (firstWrite_) std::exchange(firstWrite_, nullptr)();
        return result;
    }
    void CancelRead() override { inner_->CancelRead(); }

private:
    std::unique_ptr<HidConnection> inner_;
    std::function<void()>& firstWrite_;
};

// The platform as the controller sees it: only the chosen unit, so that the
// link takes that one and no other TR640 that happens to be plugged in.
class DeviceSession::ChosenPlatform final : public HidPlatform {
public:
    ChosenPlatform(HidPlatform& inner, std::string path, std::function<void()>& firstWrite)
        : inner_(inner), path_(std::move(path)), firstWrite_(firstWrite) {
        connect(&inner_, &HidPlatform::DevicesChanged, this, &HidPlatform::DevicesChanged);
    }
    std::vector<HidDeviceInfo> Enumerate() override {
        std::vector<HidDeviceInfo> out;
        for (HidDeviceInfo& info : inner_.Enumerate())
            if (info.path == path_) out.push_back(std::move(info));
        return out;
    }
    std::unique_ptr<HidConnection> Open(const std::string& path, int* error) override {
        std::unique_ptr<HidConnection> connection = inner_.Open(path, error);
        if (!connection || !firstWrite_) return connection;
        return std::make_unique<StampedConnection>(std::move(connection), firstWrite_);
    }
    std::string ErrorText(int code) const override { return inner_.ErrorText(code); }
    std::vector<std::string> TakeNotes() override { return inner_.TakeNotes(); }

private:
    HidPlatform& inner_;
    std::string path_;
    std::function<void()>& firstWrite_;
};

std::vector<UnitListing> ListUnits(HidPlatform& platform) {
    std::vector<UnitListing> units;
    for (const HidDeviceInfo& info : platform.Enumerate()) {
        if (info.vendorId != kTr640VendorId || info.productId != kTr640ProductId) continue;
        UnitListing unit{info, {}};
        if (!info.readWriteAccess) {
            int error = 0;
            // Opened once more only to name the reason; closed at once.
            if (!platform.Open(info.path, &error)) unit.accessError = platform.ErrorText(error);
            if (unit.accessError.empty()) unit.accessError = "cannot be opened for reading and writing";
        }
        units.push_back(std::move(unit));
    }
    return units;
}

DeviceSession::DeviceSession(HidPlatform& platform, int timeoutMs, std::function<bool()> interrupted)
    : platform_(platform), timeoutMs_(timeoutMs), interrupted_(std::move(interrupted)),
      view_(std::make_unique<View>(*this)), port_(std::make_unique<Port>(*this)), language_(kLanguageEnglish) {
    // The link's intervals, as the link window sets them; the link counts
    // its time-outs in ticks, so the timers must not run early.
    const std::pair<QTimer*, int> timers[] = {{&connectTimer_, 1000}, {&transferTimer_, 50}, {&holdTimer_, 40}};
    for (const auto& [timer, ms] : timers) {
        timer->setInterval(ms);
        timer->setTimerType(Qt::PreciseTimer);
    }
    QObject::connect(&connectTimer_, &QTimer::timeout, [this] { link_->Timer1Timer(); });
    QObject::connect(&transferTimer_, &QTimer::timeout, [this] { link_->Timer2Timer(); });
    QObject::connect(&holdTimer_, &QTimer::timeout, [this] { link_->HoldTimerTimer(); });
}

DeviceSession::~DeviceSession() {
    // No tick may reach the link while it is taken down; the controller's
    // end stops the reader threads and closes the unit.
    connectTimer_.stop();
    transferTimer_.stop();
    holdTimer_.stop();
    if (handlers_) handlers_->SetPort(nullptr);
    link_.reset();
    sender_.reset();
    handlers_.reset();
    controller_.reset();
}

void DeviceSession::AddTraffic(const std::string& line) {
    traffic_.push_back(line);
    if (traffic_.size() > kTrafficLines) traffic_.pop_front();
}

bool DeviceSession::Fail(int code, std::string message) {
    // The first cause is the one reported; what follows from it is not.
    if (failure_.code == kExitOk) failure_ = {code, std::move(message)};
    return false;
}

bool DeviceSession::PickUnit(const DeviceChoice& choice) {
    std::vector<UnitListing> units = ListUnits(platform_);
    if (units.empty()) return Fail(kExitNoUnit, "no TR640 found (is it plugged in? see 'tr640ctl list')");
    std::vector<UnitListing> matching;
    for (UnitListing& u : units) {
        if (!choice.path.empty() && u.info.path != choice.path) continue;
        if (!choice.serial.empty() && u.info.serial != choice.serial) continue;
        matching.push_back(std::move(u));
    }
    if (matching.empty()) {
        const std::string which = !choice.path.empty() ? "at " + choice.path : "with serial " + choice.serial;
        return Fail(kExitNoUnit, "no TR640 " + which + " (see 'tr640ctl list')");
    }
    if (matching.size() > 1)
        return Fail(kExitUsage, std::to_string(matching.size()) +
                                    " TR640 units present: pick one with --serial or --device (see 'tr640ctl list')");
    const UnitListing& unit = matching.front();
    if (!unit.accessError.empty())
        return Fail(kExitNoAccess, "cannot open the TR640 at " + unit.info.path + ": " + unit.accessError +
                                       " (install the udev rule, see 'Access to the device' in the README)");
    unit_ = unit.info;
    return true;
}

bool DeviceSession::Connect(const DeviceChoice& choice) {
    if (!PickUnit(choice)) return false;
    chosen_ = std::make_unique<ChosenPlatform>(platform_, unit_.path, firstFrameWritten_);
    controller_ = std::make_unique<TJvHidDeviceController>(*chosen_);
    handlers_ = std::make_unique<HidLinkHandlers>(*controller_, port_.get());
    sender_ = std::make_unique<FrameSender>(*handlers_);
    link_ = std::make_unique<Link>(store_, *sender_, *view_, Link::Timers{connectPort_, transferPort_, holdPort_},
                                   language_);
    handlers_->BindEvents();
    // The first scan finds the unit, and the link starts with the key.
    controller_->Scan();
    return WaitFor([this] { return refreshes_ > 0 && link_->Vars().linkState == kLinkedIdle; }, "connecting");
}

bool DeviceSession::LinkQuiet() const {
    const LinkVars& v = link_->Vars();
    return v.linkState == kLinkedIdle && v.ready == 1 && v.queue.count == 0 && v.repeatLast == 0 &&
           v.waitReason == 0;
}

int DeviceSession::AcknowledgedOf(int sent) const {
    const LinkVars& v = link_->Vars();
    const int open = v.queue.count + (v.ready == 1 ? 0 : 1);
    return std::max(0, sent - open);
}

bool DeviceSession::SendChanges(const std::vector<std::pair<int, std::int32_t>>& changes) {
    for (const auto& [address, raw] : changes) link_->SendParameter(address, raw);
    if (WaitFor([this] { return LinkQuiet(); }, "sending")) return true;
    // Say how far it got: the unit keeps what it acknowledged.
    failure_.message += " (" + std::to_string(AcknowledgedOf(static_cast<int>(changes.size()))) + " of " +
                        std::to_string(changes.size()) + " values acknowledged)";
    return false;
}

bool DeviceSession::ReadBack(bool withSystemPage) {
    for (int page = withSystemPage ? 0 : 1; page <= kLastPage; ++page)
        for (int index = 0; index < kPageCount[page]; ++index) store_.SetDevice(page, index, kMissing);
    const int before = refreshes_;
    link_->RaiseLinkEvent(withSystemPage ? kEventConnectRead : kEventReloadModeParams);
    return WaitFor([this, before] { return refreshes_ > before && link_->Vars().linkState == kLinkedIdle; },
                   "reading back");
}

bool DeviceSession::WritePage1(const ParamStore& source) {
    for (int index = 0; index < ParamStore::kDeviceWidth; ++index) store_.SetDevice(1, index, source.Device(1, index));
    const int before = refreshes_;
    link_->RaiseLinkEvent(kEventWriteAll);
    return WaitFor([this, before] { return refreshes_ > before && link_->Vars().linkState == kLinkedIdle; },
                   "writing");
}

bool DeviceSession::RecallMode(int mode) {
    const int before = refreshes_;
    link_->SendParameter(kAddrModeRecall, mode - 1);
    return WaitFor([this, before] { return refreshes_ > before && link_->Vars().linkState == kLinkedIdle; },
                   "recalling the mode");
}

bool DeviceSession::SaveMode(int mode) {
    saveDone_ = false;
    link_->SendParameter(kAddrModeSave, mode - 1);
    return WaitFor([this] { return saveDone_ && link_->Vars().linkState == kLinkedIdle; }, "saving the mode");
}

bool DeviceSession::WaitFor(const std::function<bool()>& done, const char* what) {
    QElapsedTimer clock;
    clock.start();
    // Wakes the loop between link events to look at the clock and Ctrl-C.
    QTimer poll;
    poll.start(kPollMs);
    while (!done()) {
        if (failure_.code != kExitOk) return false;
        if (interrupted_ && interrupted_()) return Fail(kExitInterrupted, std::string("interrupted while ") + what);
        if (clock.elapsed() > timeoutMs_)
            return Fail(kExitTimeout, std::string("no answer from the unit while ") + what + " (time-out " +
                                          std::to_string(timeoutMs_ / 1000.0).substr(0, 4) + " s)");
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return failure_.code == kExitOk;
}

}  // namespace tr640
