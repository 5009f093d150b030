// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/UnitSession.h"

#include "model/ParamAddress.h"

namespace tr640 {

// What the link reports, as the session's signals.
class UnitSession::View final : public LinkView {
public:
    explicit View(UnitSession& s) : s_(s) {}
    void ShowStatus(LinkStatus status) override { emit s_.statusChanged(status); }
    void SetLinkLabelColour(LinkColour colour) override { emit s_.colourChanged(colour); }
    void ShowProgress(int percent) override { emit s_.progressShown(percent); }
    void HideProgress(int percent) override { emit s_.progressHidden(percent); }
    void Report(LinkOutcome outcome) override { emit s_.outcome(outcome); }
    void LogTraffic(const std::string& line) override {
        if (s_.lines_) s_.lines_->AddLogLine(line);
    }
    void RefreshAll() override { emit s_.deviceImageRead(); }
    void SelectFirstBandField() override { emit s_.transferEnded(); }

private:
    UnitSession& s_;
};

// What the HID handlers report: presence and replies go to the link, the
// device list and the log to the session's lines.
class UnitSession::HidPort final : public HidLinkPort {
public:
    explicit HidPort(UnitSession& s) : s_(s) {}
    void ClearDeviceLines() override {
        if (s_.lines_) s_.lines_->ClearDeviceLines();
    }
    void AddDeviceLine(const std::string& text) override {
        if (s_.lines_) s_.lines_->AddDeviceLine(text);
    }
    void SetCurrentDeviceLine(int row) override {
        if (s_.lines_) s_.lines_->SetCurrentDeviceLine(row);
    }
    void AddLogLine(const std::string& line) override {
        if (s_.lines_) s_.lines_->AddLogLine(line);
    }
    void LogFrame(const TrafficFrame& frame) override {
        if (s_.lines_) s_.lines_->LogFrame(frame);
    }
    bool AmendLastLogLine(const std::string& was, const std::string& now) override {
        return s_.lines_ && s_.lines_->AmendLastLogLine(was, now);
    }
    void SetReportId(const std::string& text) override {
        if (s_.lines_) s_.lines_->SetReportId(text);
    }
    void DevicePresent() override { s_.link_.DevicePresent(); }
    void NoDevicePresent() override {
        s_.NoUnitTaken();
        s_.link_.NoDevicePresent();
    }
    void DeviceHeldElsewhere(bool newPlug) override {
        // From the event loop, as DeviceNotPermitted is.
        QMetaObject::invokeMethod(&s_, [s = &s_, newPlug] { s->HeldElsewhere(newPlug); }, Qt::QueuedConnection);
    }
    void DeviceNotPermitted() override {
        // Told from the event loop, not from inside the scan: a modal box
        // would hold up the scans of the notices that come while it is open,
        // the one that grants access among them.
        QMetaObject::invokeMethod(&s_, [s = &s_] { s->link_.DeviceNotPermitted(); }, Qt::QueuedConnection);
    }
    void ParseReply(std::span<const std::uint8_t> reply) override { s_.OnReply(reply); }

private:
    UnitSession& s_;
};

// The platform as the controller sees it: only the chosen unit, so that the
// session takes that one and no other TR640 that happens to be plugged in.
class UnitSession::ChosenPlatform final : public HidPlatform {
public:
    ChosenPlatform(HidPlatform& inner, std::string path) : inner_(inner), path_(std::move(path)) {
        connect(&inner_, &HidPlatform::DevicesChanged, this, &HidPlatform::DevicesChanged);
    }
    std::vector<HidDeviceInfo> Enumerate() override {
        std::vector<HidDeviceInfo> out;
        for (HidDeviceInfo& info : inner_.Enumerate())
            if (info.path == path_) out.push_back(std::move(info));
        return out;
    }
    std::unique_ptr<HidConnection> Open(const std::string& path, int* error) override {
        return inner_.Open(path, error);
    }
    // The inner platform's reading connection, so that the chosen unit is
    // read on the event loop where the platform allows it.
    std::unique_ptr<HidConnection> OpenForReading(const std::string& path, int* error) override {
        return inner_.OpenForReading(path, error);
    }
    std::string ErrorText(int code) const override { return inner_.ErrorText(code); }
    std::vector<std::string> TakeNotes() override { return inner_.TakeNotes(); }

private:
    HidPlatform& inner_;
    std::string path_;
};

// The device controller over the platform (or only the chosen unit of it),
// and the handlers its events go to.
struct UnitSession::HidSide {
    HidSide(HidPlatform& platform, const std::string& unitPath, HidLinkPort& port)
        : chosen(unitPath.empty() ? nullptr : std::make_unique<ChosenPlatform>(platform, unitPath)),
          controller(chosen ? *chosen : platform),
          handlers(controller, &port) {
        handlers.BindEvents();
    }
    std::unique_ptr<ChosenPlatform> chosen;
    TJvHidDeviceController controller;
    HidLinkHandlers handlers;
};

void UnitSession::SetUpTimer(QTimer& timer, const char* name, int intervalMs) {
    timer.setObjectName(QString::fromLatin1(name));
    timer.setInterval(intervalMs);
    // The link counts its time-outs in ticks; a coarse timer may tick up to
    // 5 % early and shorten every one of them.
    timer.setTimerType(Qt::PreciseTimer);
}

std::unique_ptr<UnitSession::HidSide> UnitSession::MakeHidSide(HidPlatform* platform) {
    if (!platform) return nullptr;
    return std::make_unique<HidSide>(*platform, unitPath_, *hidPort_);
}

ReportTransport& UnitSession::TransportOf(LinkBackend backend) {
    return hid_ ? static_cast<ReportTransport&>(hid_->handlers) : *backend.transport;
}

UnitSession::UnitSession(ParamStore& store, LinkBackend backend, SessionLines* lines, std::string unitPath,
                         QObject* parent)
    : QObject(parent),
      unitPath_(std::move(unitPath)),
      lines_(lines),
      view_(std::make_unique<View>(*this)),
      hidPort_(std::make_unique<HidPort>(*this)),
      hid_(MakeHidSide(backend.platform)),
      sender_(TransportOf(backend)),
      link_(store, sender_, *view_, {connectPort_, transferPort_, holdPort_}) {
    SetUpTimer(connectTimer, "Timer1", 1000);
    SetUpTimer(transferTimer, "Timer2", 50);
    SetUpTimer(holdTimer, "HoldTimer", 40);
    connect(&connectTimer, &QTimer::timeout, this, &UnitSession::Timer1Timer);
    connect(&transferTimer, &QTimer::timeout, this, &UnitSession::Timer2Timer);
    connect(&holdTimer, &QTimer::timeout, this, &UnitSession::HoldTimerTimer);
    lockRetryTimer.setObjectName(QStringLiteral("LockRetryTimer"));
    lockRetryTimer.setSingleShot(true);
    lockRetryTimer.setInterval(kLockRetryMs);
    connect(&lockRetryTimer, &QTimer::timeout, this, &UnitSession::LockRetryTimer);
}

UnitSession::~UnitSession() {
    // No tick may reach the link while its parts are being taken down, and
    // devices released while the controller is taken down report to no one.
    connectTimer.stop();
    transferTimer.stop();
    holdTimer.stop();
    if (hid_) hid_->handlers.SetPort(nullptr);
}

void UnitSession::Scan() {
    if (hid_) hid_->controller.Scan();
}

void UnitSession::TickByHand() {
    for (QtLinkTimer* port : {&connectPort_, &transferPort_, &holdPort_}) port->TickByHand(handClockMs_);
}

void UnitSession::TickNext(int idleMs) {
    // Ties go in one fixed order (key, transfer, queue), so that a run repeats.
    QtLinkTimer* next = nullptr;
    for (QtLinkTimer* port : {&connectPort_, &transferPort_, &holdPort_})
        if (port->NextDue() && (!next || *port->NextDue() < *next->NextDue())) next = port;
    if (!next) {
        handClockMs_ += idleMs;
        return;
    }
    handClockMs_ = *next->NextDue();
    next->Ticked();
    if (next == &connectPort_) Timer1Timer();
    if (next == &transferPort_) Timer2Timer();
    if (next == &holdPort_) HoldTimerTimer();
}

void UnitSession::OnReply(std::span<const std::uint8_t> report) {
    ++repliesTaken_;
    link_.OnReply(report);
    emit replyTaken();
}

void UnitSession::ReadBack(bool withSystemPage) {
    if (withSystemPage) {
        link_.ReadAll();
    } else {
        link_.ReloadPageOne();
    }
}

void UnitSession::RecallMode(int mode) { link_.SendParameter(kAddrModeRecall, mode - 1); }

void UnitSession::SaveMode(int mode) {
    link_.SendParameter(kAddrModeSave, mode - 1);
    link_.HoldForSave();
}

std::optional<HidDeviceInfo> UnitSession::Unit() const {
    if (!hid_ || hid_->handlers.SelectedDevice() == nullptr) return std::nullopt;
    return hid_->handlers.SelectedDevice()->Info();
}

TJvHidDeviceController* UnitSession::controller() { return hid_ ? &hid_->controller : nullptr; }

HidLinkHandlers* UnitSession::hidHandlers() { return hid_ ? &hid_->handlers : nullptr; }

// --- The unit lock ------------------------------------------------------------

void UnitSession::LockUnitsAs(std::string program, std::string directory) {
    lockProgram_ = std::move(program);
    lock_ = std::make_unique<UnitLock>(std::move(directory));
    if (hid_) hid_->handlers.MayTake = [this](const TJvHidDevice& device) { return MayTake(device); };
}

bool UnitSession::MayTake(const TJvHidDevice& device) {
    const std::string key = UnitLock::KeyOf(device.SerialNumber(), device.DevicePath());
    if (lock_->Held() && key == lockedKey_) return true;
    lock_->Release();
    lockedKey_.clear();
    switch (lock_->Take(key, lockProgram_)) {
    case UnitLock::Outcome::Taken: lockedKey_ = key; return true;
    case UnitLock::Outcome::HeldByOther: holder_ = lock_->HeldBy(); return false;
    // No lock directory to share: nobody to coordinate with.
    case UnitLock::Outcome::Failed: return true;
    }
    return true;
}

void UnitSession::HeldElsewhere(bool newPlug) {
    lockRetryTimer.start();
    if (newPlug) emit outcome(LinkOutcome::HeldByOther);
}

// With no unit taken the lock goes, so that the unit may be taken by the
// next program it is plugged in for.
void UnitSession::NoUnitTaken() {
    if (!lock_ || !lock_->Held()) return;
    lock_->Release();
    lockedKey_.clear();
}

void UnitSession::LockRetryTimer() {
    if (hid_) hid_->handlers.HidCtlDeviceChange();
}

}  // namespace tr640
