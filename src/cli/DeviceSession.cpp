// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DeviceSession.h"

#include "cli/FrameLog.h"
#include "model/ParamAddress.h"
#include "presets/PresetFlow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <fstream>

namespace tr640 {

namespace {

// How often a wait looks at the clock and for Ctrl-C between link events.
constexpr int kPollMs = 20;

}  // namespace

// The unit's connection, telling the session's hook when the first frame
// has been written and the frame log every report that passes. Reads may
// come from a reader thread; the log locks for itself.
class DeviceSession::StampedConnection final : public HidConnection {
public:
    StampedConnection(std::unique_ptr<HidConnection> inner, std::function<void()>* firstWrite, FrameLog* log)
        : inner_(std::move(inner)), firstWrite_(firstWrite), log_(log) {}
    HidIoResult Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
        const HidIoResult result = inner_->Read(buffer, timeoutMs);
        if (log_ && result.Ok() && result.bytes > 0)
            log_->Received(buffer.first(std::min(buffer.size(), static_cast<std::size_t>(result.bytes))));
        return result;
    }
    HidIoResult Write(std::span<const std::uint8_t> report) override {
        const HidIoResult result = inner_->Write(report);
        if (log_) log_->Sent(report, result.error);
        if (firstWrite_ && *firstWrite_) std::exchange(*firstWrite_, nullptr)();
        return result;
    }
    void CancelRead() override { inner_->CancelRead(); }
    // Keeps the reads on the event loop where the inner connection allows it.
    int ReadableDescriptor() const override { return inner_->ReadableDescriptor(); }

private:
    std::unique_ptr<HidConnection> inner_;
    std::function<void()>* firstWrite_;  // null on the reading connection
    FrameLog* log_;
};

// The platform with every connection stamped.
class DeviceSession::StampingPlatform final : public HidPlatform {
public:
    StampingPlatform(HidPlatform& inner, std::function<void()>& firstWrite, FrameLog* log)
        : inner_(inner), firstWrite_(firstWrite), log_(log) {
        connect(&inner_, &HidPlatform::DevicesChanged, this, &HidPlatform::DevicesChanged);
    }
    std::vector<HidDeviceInfo> Enumerate() override { return inner_.Enumerate(); }
    std::unique_ptr<HidConnection> Open(const std::string& path, int* error) override {
        std::unique_ptr<HidConnection> connection = inner_.Open(path, error);
        if (!connection || (!firstWrite_ && !log_)) return connection;
        return std::make_unique<StampedConnection>(std::move(connection), &firstWrite_, log_);
    }
    // The inner platform's own reading connection, so that the unit is read
    // on the event loop where it can be; wrapped only for the frame log.
    std::unique_ptr<HidConnection> OpenForReading(const std::string& path, int* error) override {
        std::unique_ptr<HidConnection> connection = inner_.OpenForReading(path, error);
        if (!connection || !log_) return connection;
        return std::make_unique<StampedConnection>(std::move(connection), nullptr, log_);
    }
    std::string ErrorText(int code) const override { return inner_.ErrorText(code); }
    std::vector<std::string> TakeNotes() override { return inner_.TakeNotes(); }

private:
    HidPlatform& inner_;
    std::function<void()>& firstWrite_;
    FrameLog* log_;
};

namespace {

// The broker a running bridge was given, read from its command line where
// this user may read it; the form to fill in where not.
std::string BrokerOfBridge(long pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> args;
    for (std::string arg; std::getline(file, arg, '\0');) args.push_back(arg);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--broker" && i + 1 < args.size()) return args[i + 1];
        if (args[i].rfind("--broker=", 0) == 0) return args[i].substr(9);
    }
    return "mqtt://HOST[:PORT]";
}

}  // namespace

std::vector<UnitListing> ListUnits(HidPlatform& platform) {
    std::vector<UnitListing> units;
    for (const HidDeviceInfo& info : platform.Enumerate()) {
        if (info.vendorId != kTr640VendorId || info.productId != kTr640ProductId) continue;
        UnitListing unit{info, {}, {}};
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

DeviceSession::DeviceSession(HidPlatform& platform, int timeoutMs, std::function<bool()> interrupted,
                             HandTicks handTicks)
    : platform_(platform), timeoutMs_(timeoutMs), interrupted_(std::move(interrupted)),
      handTicks_(std::move(handTicks)) {}

// The session goes first: its controller's end stops the reader threads
// and closes the unit.
DeviceSession::~DeviceSession() { session_.reset(); }

bool DeviceSession::Fail(int code, std::string message) {
    // The first cause is the one reported; what follows from it is not.
    if (failure_.code == kExitOk) failure_ = {code, std::move(message)};
    return false;
}

// Each outcome that ends a command, as its exit code.
void DeviceSession::OnOutcome(LinkOutcome outcome) {
    switch (outcome) {
    case LinkOutcome::ModeSaved: saveDone_ = true; break;
    case LinkOutcome::ConnectFailed: Fail(kExitTimeout, "the unit stopped answering during a transfer"); break;
    case LinkOutcome::ConnectionLost: Fail(kExitTimeout, "the unit stopped answering"); break;
    case LinkOutcome::Refused: Fail(kExitRefused, "the unit refused a frame (error status)"); break;
    case LinkOutcome::NotPermitted:
        Fail(kExitNoAccess,
             "the TR640 is present but may not be opened: install the udev rule 70-tr640.rules "
             "(see \"Access to the device\" in the README), then plug the unit in again");
        break;
    case LinkOutcome::HeldByOther: Fail(kExitHeld, "the TR640 is held by another program"); break;
    case LinkOutcome::Connected:
    case LinkOutcome::PageOneRead:
    case LinkOutcome::PageOneWritten: break;
    }
}

// A unit that goes away ends the command.
void DeviceSession::OnStatus(LinkStatus status) {
    if (status == LinkStatus::Connecting) present_ = true;
    if (status == LinkStatus::NoUnit)
        Fail(kExitNoUnit, present_ ? "the unit went away" : "the TR640 is no longer present");
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

// Two programs on one unit would each read the other's replies as their
// own: the one that finds the unit held says who holds it and ends.
bool DeviceSession::LockUnit() {
    if (lockDirectory_.empty()) return true;
    lock_ = std::make_unique<UnitLock>(lockDirectory_);
    const std::string key = UnitLock::KeyOf(unit_.serial, unit_.path);
    switch (lock_->Take(key, "tr640ctl")) {
    case UnitLock::Outcome::Taken: return true;
    case UnitLock::Outcome::HeldByOther: {
        std::string message = "the TR640 " + key + " is " + lock_->HeldByText();
        if (lock_->HeldBy().program == "tr640-bridge")
            message += ", or reach it through the bridge: tr640ctl --broker " + BrokerOfBridge(lock_->HeldBy().pid) +
                       (unit_.serial.empty() ? "" : " --serial " + unit_.serial) + " ...";
        return Fail(kExitHeld, message);
    }
    case UnitLock::Outcome::Failed:
        // No lock directory to share (a container without /run/lock): there
        // is nobody to coordinate with, and the unit is used as before.
        lock_.reset();
        return true;
    }
    return true;
}

bool DeviceSession::Connect(const DeviceChoice& choice) {
    if (!PickUnit(choice) || !LockUnit()) return false;
    stamping_ = std::make_unique<StampingPlatform>(platform_, firstFrameWritten_, frameLog_);
    session_ = std::make_unique<UnitSession>(store_, *stamping_, nullptr, unit_.path);
    if (handTicks_) session_->TickByHand();
    QObject::connect(session_.get(), &UnitSession::outcome, [this](LinkOutcome o) { OnOutcome(o); });
    QObject::connect(session_.get(), &UnitSession::statusChanged, [this](LinkStatus s) { OnStatus(s); });
    QObject::connect(session_.get(), &UnitSession::deviceImageRead, [this] {
        store_.CopyDeviceToShown();
        ++refreshes_;
    });
    // The first scan finds the unit, and the link starts with the key.
    session_->Scan();
    return WaitForTransfer(0, "connecting");
}

std::vector<UnitListing> DeviceSession::List() { return ListUnits(platform_); }

bool DeviceSession::SendChanges(const UnitChanges& changes) {
    for (const auto& [address, raw] : changes) session_->Send(address, raw);
    if (WaitFor([this] { return session_->Quiet(); }, "sending")) return true;
    // Say how far it got: the unit keeps what it acknowledged.
    const int sent = static_cast<int>(changes.size());
    const int acknowledged = std::max(0, sent - session_->ChangesOutstanding());
    failure_.message += " (" + std::to_string(acknowledged) + " of " + std::to_string(sent) + " values acknowledged)";
    return false;
}

bool DeviceSession::ReadBack(bool withSystemPage) {
    for (int page = withSystemPage ? 0 : 1; page <= kLastPage; ++page)
        for (int index = 0; index < kPageCount[page]; ++index) store_.SetDevice(page, index, kMissing);
    const int before = refreshes_;
    session_->ReadBack(withSystemPage);
    return WaitForTransfer(before, "reading back");
}

bool DeviceSession::WritePage1(const ParamStore& source) {
    for (int index = 0; index < ParamStore::kDeviceWidth; ++index) store_.SetDevice(1, index, source.Device(1, index));
    const int before = refreshes_;
    session_->WritePageOne();
    return WaitForTransfer(before, "writing");
}

bool DeviceSession::PushPreset(const ParamStore& file) {
    return WritePage1(file) && SendChanges(PresetFlow::SystemValuesOf(file)) && ReadBack(true);
}

bool DeviceSession::RecallMode(int mode) {
    const int before = refreshes_;
    session_->RecallMode(mode);
    return WaitForTransfer(before, "recalling the mode");
}

bool DeviceSession::SaveMode(int mode) {
    saveDone_ = false;
    session_->SaveMode(mode);
    return WaitFor([this] { return saveDone_ && session_->Linked(); }, "saving the mode");
}

// Until a transfer has ended since `before` refreshes and the link is idle.
bool DeviceSession::WaitForTransfer(int before, const char* what) {
    return WaitFor([this, before] { return refreshes_ > before && session_->Linked(); }, what);
}

bool DeviceSession::WaitFor(const std::function<bool()>& done, const char* what) {
    QElapsedTimer clock;
    clock.start();
    const std::int64_t handStart = session_->HandClockMs();
    const auto elapsed = [&] { return handTicks_ ? session_->HandClockMs() - handStart : clock.elapsed(); };
    // Wakes the loop between link events to look at the clock and Ctrl-C.
    QTimer poll;
    if (!handTicks_) poll.start(kPollMs);
    while (!done()) {
        if (failure_.code != kExitOk) return false;
        if (interrupted_ && interrupted_()) return Fail(kExitInterrupted, std::string("interrupted while ") + what);
        if (elapsed() > timeoutMs_)
            return Fail(kExitTimeout, std::string("no answer from the unit while ") + what + " (time-out " +
                                          std::to_string(timeoutMs_ / 1000.0).substr(0, 4) + " s)");
        RunEventsOrTick(done);
    }
    return failure_.code == kExitOk;
}

// Waits for the next link event; ticking by hand, takes what has come and
// gives the next tick once the unit's replies are in.
void DeviceSession::RunEventsOrTick(const std::function<bool()>& done) {
    if (!handTicks_) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return;
    }
    QCoreApplication::processEvents();
    handTicks_(*session_);
    if (!done() && failure_.code == kExitOk) session_->TickNext(kPollMs);
}

}  // namespace tr640
