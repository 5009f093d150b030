// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/HidDeviceController.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace tr640 {

// --- TJvHidDevice ------------------------------------------------------------

TJvHidDevice::TJvHidDevice(TJvHidDeviceController& controller, HidDeviceInfo info)
    : controller_(controller), info_(std::move(info)) {}

TJvHidDevice::~TJvHidDevice() {
    RequestStop();
    JoinReader();
    CloseHandles();
}

void TJvHidDevice::SetReadWaitSlice(int ms) {
    waitSliceMs_ = std::clamp(ms, kMinReadWaitSliceMs, kMaxReadWaitSliceMs);
}

bool TJvHidDevice::IsAccessDenied() const {
    return !info_.readWriteAccess && (info_.accessError == EACCES || info_.accessError == EPERM);
}

std::uint64_t TJvHidDevice::HandOffsPosted() const {
    return watchedReports_ + (handOff_ ? handOff_->posted.load() : 0);
}

int TJvHidDevice::ReaderPauses() const { return watchPauses_ + (handOff_ ? handOff_->pauses.load() : 0); }

HidIoResult TJvHidDevice::WriteOutputReport(std::span<const std::uint8_t> report) {
    // A path that has gone away may already name another device.
    if (!plugged_) return {0, ENODEV};
    if (!writeHandle_) {
        int error = 0;
        writeHandle_ = controller_.platform_.Open(info_.path, &error);
        if (!writeHandle_) return {0, error != 0 ? error : EIO};
    }
    return writeHandle_->Write(report);
}

void TJvHidDevice::StartReader() {
    if (IsReading()) return;
    int openError = 0;
    // Reads go through a connection of their own so that the writes of the
    // user-interface thread never share a handle with the reader. It is
    // opened here, before the first write goes out, so that no answer to
    // that write is missed.
    readHandle_ = controller_.platform_.OpenForReading(info_.path, &openError);
    if (readHandle_ && readHandle_->ReadableDescriptor() >= 0) {
        StartWatching();
        return;
    }
    if (!readHandle_ && openError == 0) openError = EIO;
    handOff_ = std::make_shared<HandOffState>();
    handOff_->connection = readHandle_.get();
    reader_ = std::thread(&TJvHidDevice::ReaderLoop, &controller_, self_, handOff_, openError, info_.inputReportLength,
                          waitSliceMs_);
}

void TJvHidDevice::StartWatching() {
    readBuffer_.assign(std::max<std::size_t>(info_.inputReportLength, 1), 0);
    watch_ = std::make_unique<QSocketNotifier>(readHandle_->ReadableDescriptor(), QSocketNotifier::Read);
    QObject::connect(watch_.get(), &QSocketNotifier::activated, watch_.get(), [this] { ReadWaitingReports(); });
    watchPause_ = std::make_unique<QTimer>();
    watchPause_->setSingleShot(true);
    watchPause_->setInterval(waitSliceMs_);
    QObject::connect(watchPause_.get(), &QTimer::timeout, watchPause_.get(), [this] { ResumeWatching(); });
}

// Reads every report waiting, each handled before the next is read, so that
// one device's answers come one at a time and in order.
void TJvHidDevice::ReadWaitingReports() {
    // A handler's nested event loop (a message box) must not bring the next
    // report in: the notifier is held back until the handler has returned.
    // Only then, so that the usual report costs no re-registration.
    if (handlingReport_) {
        if (watch_) watch_->setEnabled(false);
        heldBack_ = true;
        return;
    }
    // A handler may release the device: the object stays until this returns.
    const std::shared_ptr<TJvHidDevice> keep = self_.lock();
    while (watch_ && watch_->isEnabled()) {
        std::fill(readBuffer_.begin(), readBuffer_.end(), std::uint8_t{0});
        const HidIoResult result = readHandle_->Read(readBuffer_, 0);
        if (!result.Ok()) {
            // An unplugged node polls readable and fails every read until the
            // device monitor's notice releases the device: the reader looks
            // again one slice later, so the wait neither spins nor floods the
            // log.
            watch_->setEnabled(false);
            ++watchPauses_;
            watchPause_->start();
            controller_.DeliverError(*this, result.error);
            return;
        }
        if (result.bytes <= 0) return;
        ++watchedReports_;
        const auto bytes = std::min<std::size_t>(static_cast<std::size_t>(result.bytes), readBuffer_.size());
        // Handled where it was read: no read into the buffer starts before
        // the handler has returned.
        handlingReport_ = true;
        controller_.DeliverReport(*this, std::span(readBuffer_).first(bytes));
        handlingReport_ = false;
        if (!watch_) return;
        if (heldBack_) {
            heldBack_ = false;
            watch_->setEnabled(true);
        }
    }
}

void TJvHidDevice::ResumeWatching() {
    if (watch_) watch_->setEnabled(true);
}

void TJvHidDevice::StopWatching() {
    // May run inside the notifier's own handler, which Qt allows: the
    // notifier checks that it still exists after its signal.
    watchPause_.reset();
    watch_.reset();
}

void TJvHidDevice::ReopenForReader(const std::shared_ptr<HandOffState>& state) {
    if (state != handOff_ || readHandle_) return;
    int error = ENODEV;
    if (plugged_) readHandle_ = controller_.platform_.OpenForReading(info_.path, &error);
    if (readHandle_) {
        std::lock_guard lock(state->mutex);
        state->connection = readHandle_.get();
        return;
    }
    if (controller_.OnDeviceDataError) controller_.OnDeviceDataError(*this, error != 0 ? error : EIO);
}

void TJvHidDevice::RequestStop() {
    StopWatching();
    if (!reader_.joinable()) return;
    {
        std::lock_guard lock(handOff_->mutex);
        handOff_->stop = true;
    }
    // Wakes a reader waiting for its hand-off to be handled...
    handOff_->handled.notify_all();
    // ...and one waiting in a read, where the platform can cut it short.
    if (readHandle_) readHandle_->CancelRead();
}

void TJvHidDevice::JoinReader() {
    if (reader_.joinable()) reader_.join();
    readHandle_.reset();
}

void TJvHidDevice::CloseHandles() { writeHandle_.reset(); }

void TJvHidDevice::ReaderLoop(TJvHidDeviceController* controller, std::weak_ptr<TJvHidDevice> self,
                              std::shared_ptr<HandOffState> state, int openError, std::size_t inputLength,
                              int waitSliceMs) {
    std::vector<std::uint8_t> buffer(std::max<std::size_t>(inputLength, 1));

    // Hands one event to the user-interface thread. Only one is ever on its
    // way (see below), so one device's reports are handled one at a time and
    // in order. An event still on its way at a stop request is dropped
    // unhandled.
    auto post = [&](TJvHidDeviceController::HandOff handOff) {
        const std::uint64_t sequence = state->posted.fetch_add(1) + 1;
        QMetaObject::invokeMethod(
            controller,
            [controller, self, state, sequence, handOff = std::move(handOff)] {
                controller->Deliver(self, state, sequence, handOff);
            },
            Qt::QueuedConnection);
        return sequence;
    };
    // Waits until everything handed over so far has been handled. A stop
    // request ends the wait at once. False when told to stop.
    auto allHandled = [&] {
        std::unique_lock lock(state->mutex);
        state->handled.wait(lock, [&] { return state->stop || state->lastHandled >= state->posted.load(); });
        return !state->stop;
    };
    // An error or a reopen request is waited for: what the reader does next
    // depends on it.
    auto handOver = [&](TJvHidDeviceController::HandOff handOff) {
        if (!allHandled()) return false;
        post(std::move(handOff));
        return allHandled();
    };
    // A report carries its own copy of the bytes, so the reader may go on
    // reading while it waits to be handled: it waits before it hands over
    // the next one instead. The device's answers still come one at a time
    // and in order, and the reader wakes once per report, not twice.
    auto handOverReport = [&](TJvHidDeviceController::HandOff handOff) {
        if (!allHandled()) return false;
        post(std::move(handOff));
        return true;
    };
    auto stopping = [&] {
        std::lock_guard lock(state->mutex);
        return state->stop;
    };
    // Waits one slice, less when told to stop. False when told to stop.
    auto pause = [&] {
        ++state->pauses;
        std::unique_lock lock(state->mutex);
        return !state->handled.wait_for(lock, std::chrono::milliseconds(waitSliceMs), [&] { return state->stop; });
    };
    auto currentConnection = [&] {
        std::lock_guard lock(state->mutex);
        return state->connection;
    };
    using Kind = TJvHidDeviceController::HandOff::Kind;

    HidConnection* connection = currentConnection();
    if (connection == nullptr && !handOver({Kind::Error, openError, {}})) return;
    while (!stopping()) {
        if (connection == nullptr) {
            // The node may open later (access granted, a moment of EBUSY):
            // the user-interface thread tries again once a slice and reports
            // each failure as a read error, until the device is released.
            if (!pause() || !handOver({Kind::Reopen, 0, {}})) break;
            connection = currentConnection();
            continue;
        }
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
        const HidIoResult result = connection->Read(buffer, waitSliceMs);
        if (!result.Ok()) {
            // On hidraw a reader sees an unplugged device hang up well before
            // the device monitor announces the removal, and every read fails
            // at once until then: tried again one slice later, the wait for
            // the notice neither spins nor floods the log. The errors go on
            // until the device is released.
            if (!handOver({Kind::Error, result.error, {}}) || !pause()) break;
            continue;
        }
        if (result.bytes <= 0) continue;  // a slice passed without a report
        const auto bytes = std::min<std::size_t>(static_cast<std::size_t>(result.bytes), buffer.size());
        if (!handOverReport({Kind::Report, 0, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + bytes)}))
            break;
    }
}

// --- TJvHidDeviceController --------------------------------------------------

TJvHidDeviceController::TJvHidDeviceController(HidPlatform& platform, QObject* parent)
    : QObject(parent), platform_(platform) {
    connect(&platform_, &HidPlatform::DevicesChanged, this, &TJvHidDeviceController::Scan);
    // The first scan waits for the event loop, so that whoever creates the
    // controller can bind its events first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!firstScanDone_) Scan();
        },
        Qt::QueuedConnection);
}

TJvHidDeviceController::~TJvHidDeviceController() {
    // Stop every reader first and only then wait: the waits then overlap.
    for (auto& device : devices_) device->RequestStop();
    for (auto& device : devices_) device->JoinReader();
    devices_.clear();
}

std::shared_ptr<TJvHidDevice> TJvHidDeviceController::MakeDevice(const HidDeviceInfo& info) {
    auto device = std::make_shared<TJvHidDevice>(*this, info);
    device->self_ = device;
    device->waitSliceMs_ = readWaitSliceMs_;
    return device;
}

void TJvHidDeviceController::SetReadWaitSlice(int ms) {
    readWaitSliceMs_ = std::clamp(ms, TJvHidDevice::kMinReadWaitSliceMs, TJvHidDevice::kMaxReadWaitSliceMs);
}

void TJvHidDeviceController::Scan() {
    if (scanning_) {
        // A notice while a scan runs (from a handler's nested event loop):
        // that scan goes round once more instead of running inside itself.
        scanAgain_ = true;
        return;
    }
    scanning_ = true;
    do {
        scanAgain_ = false;
        ScanOnce();
    } while (scanAgain_);
    scanning_ = false;
}

void TJvHidDeviceController::ScanOnce() {
    ++scansRun_;
    const std::vector<HidDeviceInfo> present = platform_.Enumerate();
    for (const std::string& note : platform_.TakeNotes())
        if (OnNote) OnNote(note);

    // A device is known by its plug, not by its path: a unit pulled out and
    // put back between two scans, or another device on the freed node, is
    // a removal and an arrival.
    auto listing = [&](const HidDeviceInfo& known) -> const HidDeviceInfo* {
        const auto at = std::find_if(present.begin(), present.end(),
                                     [&](const HidDeviceInfo& i) { return SamePlug(i, known); });
        return at == present.end() ? nullptr : &*at;
    };

    bool changed = false;
    // Gone devices. The snapshot keeps each object alive while its handlers run.
    const auto snapshot = devices_;
    for (const auto& device : snapshot) {
        if (!device->plugged_) continue;
        if (const HidDeviceInfo* now = listing(device->info_)) {
            // udev applied its rules again (one was installed or reloaded
            // while the unit was plugged in): who may open the node has
            // changed, and the rebuild takes the device afresh with it.
            if (now->readWriteAccess != device->info_.readWriteAccess) {
                device->info_.readWriteAccess = now->readWriteAccess;
                device->info_.accessError = now->accessError;
                changed = true;
            }
            continue;
        }
        device->CloseHandles();
        device->plugged_ = false;
        changed = true;
        if (OnRemoval) OnRemoval(*device);
        // A taken object stays until the program releases it.
        if (!device->taken_) {
            const auto at = std::find(devices_.begin(), devices_.end(), device);
            if (at != devices_.end()) devices_.erase(at);
        }
    }

    // New devices, at the end of the list.
    for (const HidDeviceInfo& info : present) {
        const bool known = std::any_of(devices_.begin(), devices_.end(), [&](const auto& d) {
            return d->plugged_ && SamePlug(d->info_, info);
        });
        if (known) continue;
        auto device = MakeDevice(info);
        devices_.push_back(device);
        changed = true;
        if (OnArrival) OnArrival(*device);
    }

    if (changed || !firstScanDone_) {
        firstScanDone_ = true;
        if (OnDeviceChange) OnDeviceChange();
    }
}

int TJvHidDeviceController::Enumerate() {
    const auto snapshot = devices_;
    int enumerated = 0;
    for (const auto& device : snapshot) {
        if (!device->plugged_) continue;
        const auto at = std::find(devices_.begin(), devices_.end(), device);
        if (at == devices_.end()) continue;  // a handler released it meanwhile
        ++enumerated;
        if (OnEnumerate && !OnEnumerate(*device, static_cast<int>(at - devices_.begin()))) break;
    }
    return enumerated;
}

bool TJvHidDeviceController::Take(TJvHidDevice& device) {
    if (device.taken_) return false;
    device.taken_ = true;
    if (device.plugged_ && device.HasReadWriteAccess() && device.IsTr640() && OnDeviceData) device.StartReader();
    return true;
}

void TJvHidDeviceController::Release(TJvHidDevice& device) { Release(std::vector<TJvHidDevice*>{&device}); }

void TJvHidDeviceController::Release(const std::vector<TJvHidDevice*>& devices) {
    std::vector<std::shared_ptr<TJvHidDevice>> releasing;
    for (TJvHidDevice* device : devices) {
        const auto at = std::find_if(devices_.begin(), devices_.end(), [&](const auto& d) { return d.get() == device; });
        if (at == devices_.end() || !(*at)->taken_) continue;
        if (std::find(releasing.begin(), releasing.end(), *at) != releasing.end()) continue;
        releasing.push_back(*at);
    }
    // All readers are told first, then waited for one by one. The waits need
    // no help from this thread: a reader blocked on its hand-off wakes on the
    // stop request, and the hand-offs it leaves behind are dropped when the
    // event loop gets to them.
    for (const auto& device : releasing) device->RequestStop();
    for (const auto& device : releasing) {
        device->JoinReader();
        device->CloseHandles();
        device->taken_ = false;
        const auto at = std::find(devices_.begin(), devices_.end(), device);
        if (device->plugged_) {
            *at = MakeDevice(device->info_);
            (*at)->waitSliceMs_ = device->waitSliceMs_;
        } else {
            devices_.erase(at);
        }
    }
}

int TJvHidDeviceController::ReaderThreadsRunning() const {
    return static_cast<int>(
        std::count_if(devices_.begin(), devices_.end(), [](const auto& d) { return d->IsReading() && !d->IsReadOnEventLoop(); }));
}

int TJvHidDeviceController::ReadersRunning() const {
    return static_cast<int>(std::count_if(devices_.begin(), devices_.end(), [](const auto& d) { return d->IsReading(); }));
}

void TJvHidDeviceController::Deliver(const std::weak_ptr<TJvHidDevice>& device,
                                     const std::shared_ptr<TJvHidDevice::HandOffState>& state, std::uint64_t sequence,
                                     const HandOff& handOff) {
    bool live = false;
    {
        std::lock_guard lock(state->mutex);
        live = !state->stop;
    }
    // Holding the object keeps it alive even if a handler releases it.
    const std::shared_ptr<TJvHidDevice> target = device.lock();
    if (live && target && target->taken_) {
        switch (handOff.kind) {
        case HandOff::Kind::Error: DeliverError(*target, handOff.code); break;
        case HandOff::Kind::Reopen: target->ReopenForReader(state); break;
        case HandOff::Kind::Report: DeliverReport(*target, handOff.report); break;
        }
    }
    {
        std::lock_guard lock(state->mutex);
        state->lastHandled = std::max(state->lastHandled, sequence);
    }
    state->handled.notify_all();
}

void TJvHidDeviceController::DeliverReport(TJvHidDevice& device, std::span<const std::uint8_t> report) {
    if (!device.taken_ || report.empty() || !OnDeviceData) return;
    const std::span<const std::uint8_t> data = report.subspan(1);
    OnDeviceData(device, report[0], data, data.size());
}

void TJvHidDeviceController::DeliverError(TJvHidDevice& device, int error) {
    if (device.taken_ && OnDeviceDataError) OnDeviceDataError(device, error);
}

}  // namespace tr640
