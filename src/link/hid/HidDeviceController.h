// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/hid/HidPlatform.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace tr640 {

class TJvHidDeviceController;

// The one device this program talks to. Only devices with this identity are
// ever read: on Linux the other HID devices include keyboards, and reading
// them would put keystrokes in the traffic log and let them pass for replies.
inline constexpr std::uint16_t kTr640VendorId = 0x0483;
inline constexpr std::uint16_t kTr640ProductId = 0x6912;

// One present HID device, as the controller found it. Created untaken; a
// rebuild of the device list takes it (which starts its reader when it may
// be read) and the next rebuild releases it, which ends the object.
//
// The reader is the user-interface thread's event loop where the read
// connection has a readable descriptor (hidraw, the virtual bus): a socket
// notifier wakes it only when a report waits, so an idle link costs no
// wake-ups of its own. Elsewhere it is a thread of its own that waits in
// reads one slice at a time. Used on the user-interface thread only; a
// reader thread touches nothing but its own connection and the hand-off
// state.
class TJvHidDevice {
public:
    static constexpr int kDefaultReadWaitSliceMs = 100;
    static constexpr int kMinReadWaitSliceMs = 10;
    static constexpr int kMaxReadWaitSliceMs = 10000;

    TJvHidDevice(TJvHidDeviceController& controller, HidDeviceInfo info);
    ~TJvHidDevice();
    TJvHidDevice(const TJvHidDevice&) = delete;
    TJvHidDevice& operator=(const TJvHidDevice&) = delete;

    const HidDeviceInfo& Info() const { return info_; }
    const std::string& DevicePath() const { return info_.path; }
    const std::string& Instance() const { return info_.instance; }
    std::uint16_t VendorID() const { return info_.vendorId; }
    std::uint16_t ProductID() const { return info_.productId; }
    const std::string& ProductName() const { return info_.productName; }
    const std::string& SerialNumber() const { return info_.serial; }
    const std::string& LanguageString() const { return info_.languageIdString; }
    std::size_t InputReportLength() const { return info_.inputReportLength; }
    std::size_t OutputReportLength() const { return info_.outputReportLength; }
    bool HasReadWriteAccess() const { return info_.readWriteAccess; }
    // The node is there but not open to this user (no udev rule for it).
    bool IsAccessDenied() const;

    bool IsTr640() const { return info_.vendorId == kTr640VendorId && info_.productId == kTr640ProductId; }
    bool IsPluggedIn() const { return plugged_; }
    bool IsTaken() const { return taken_; }
    bool IsReading() const { return reader_.joinable() || watch_ != nullptr; }
    // Read on the user-interface thread, not by a thread of its own.
    bool IsReadOnEventLoop() const { return watch_ != nullptr; }

    // How long a reader thread waits for a report before it looks for a
    // stop request, and how long any reader waits after a failed read before
    // it reads again; clamped to 10..10000 ms. Takes effect at the next take.
    void SetReadWaitSlice(int ms);
    int ReadWaitSlice() const { return waitSliceMs_; }

    // Writes one output report synchronously, opening the device for reading
    // and writing first if its handle is closed.
    HidIoResult WriteOutputReport(std::span<const std::uint8_t> report);

    // Reports the reader has handed to the user-interface thread, handled or
    // not. For diagnostics and tests.
    std::uint64_t HandOffsPosted() const;
    // Slices the reader has waited out, or begun to, after a failed read or
    // open. For diagnostics and tests.
    int ReaderPauses() const;

private:
    friend class TJvHidDeviceController;

    // What the reader thread and the user-interface thread share.
    struct HandOffState {
        std::mutex mutex;
        std::condition_variable handled;
        bool stop = false;
        std::uint64_t lastHandled = 0;
        std::atomic<std::uint64_t> posted{0};
        std::atomic<int> pauses{0};
        // The reader's connection, null until an open has succeeded.
        HidConnection* connection = nullptr;
    };

    void StartReader();
    // Reading on the event loop: the notifier's and the pause's handlers.
    void StartWatching();
    void ReadWaitingReports();
    void ResumeWatching();
    void StopWatching();
    // Opens the reader's connection again after a failed open; a failure is
    // reported as a read error. On the user-interface thread.
    void ReopenForReader(const std::shared_ptr<HandOffState>& state);
    void RequestStop();
    void JoinReader();
    void CloseHandles();
    static void ReaderLoop(TJvHidDeviceController* controller, std::weak_ptr<TJvHidDevice> self,
                           std::shared_ptr<HandOffState> state, int openError, std::size_t inputLength,
                           int waitSliceMs);

    TJvHidDeviceController& controller_;
    HidDeviceInfo info_;
    bool plugged_ = true;
    bool taken_ = false;
    int waitSliceMs_ = kDefaultReadWaitSliceMs;
    std::weak_ptr<TJvHidDevice> self_;
    std::unique_ptr<HidConnection> writeHandle_;
    std::shared_ptr<HandOffState> handOff_;
    // The reader's own connection: only the reader thread reads from it; it
    // is kept here so that a stop can cancel a read in progress, and closed
    // after the reader has ended.
    std::unique_ptr<HidConnection> readHandle_;
    std::thread reader_;
    // The event-loop reader: the notifier on the read connection, the pause
    // after a failed read, and what it has done.
    std::unique_ptr<QSocketNotifier> watch_;
    std::unique_ptr<QTimer> watchPause_;
    std::vector<std::uint8_t> readBuffer_;
    std::uint64_t watchedReports_ = 0;
    int watchPauses_ = 0;
    bool handlingReport_ = false;
    bool heldBack_ = false;  // the notifier, while a report is handled
};

// Owns one device object per present HID device, in the order found, and
// follows arrivals and removals. All events are raised on the
// user-interface thread.
class TJvHidDeviceController : public QObject {
    Q_OBJECT

public:
    using DeviceEvent = std::function<void(TJvHidDevice& device)>;
    using EnumerateEvent = std::function<bool(TJvHidDevice& device, int index)>;
    using DataEvent = std::function<void(TJvHidDevice& device, std::uint8_t reportId,
                                         std::span<const std::uint8_t> data, std::size_t length)>;
    using DataErrorEvent = std::function<void(TJvHidDevice& device, int error)>;

    // Requests the first scan: it runs when the event loop first gets to it,
    // or earlier if Scan is called directly.
    explicit TJvHidDeviceController(HidPlatform& platform, QObject* parent = nullptr);
    ~TJvHidDeviceController() override;

    DeviceEvent OnArrival;
    DeviceEvent OnRemoval;
    std::function<void()> OnDeviceChange;
    EnumerateEvent OnEnumerate;
    DataEvent OnDeviceData;
    DataErrorEvent OnDeviceDataError;
    // A remark of the platform for the traffic log (no device monitor here).
    std::function<void(const std::string& text)> OnNote;

    // Compares the present devices with the list: unplugs the gone, adds the
    // new, raises OnDeviceChange when anything changed or on the first scan.
    // A call during a scan makes that scan run once more instead.
    void Scan();
    int ScansRun() const { return scansRun_; }

    // Raises OnEnumerate for each plugged-in device in list order until the
    // handler answers false. Returns how many were enumerated.
    int Enumerate();

    // Takes a device for the program's use; starts its reader when it is a
    // TR640 that could be opened for reading and writing, is plugged in and
    // OnDeviceData is bound. False when it was already taken.
    bool Take(TJvHidDevice& device);

    // Stops the reader (waiting for it), closes the handles and ends the
    // object; a fresh untaken object takes its place if the device is still
    // plugged in. Reports the reader had handed over but that were not yet
    // handled are dropped. The references must not be used afterwards.
    void Release(TJvHidDevice& device);
    void Release(const std::vector<TJvHidDevice*>& devices);

    std::size_t Count() const { return devices_.size(); }
    TJvHidDevice& Device(std::size_t index) const { return *devices_.at(index); }
    // Readers running now (threads and event-loop readers).
    int ReadersRunning() const;
    // Of them, the readers that are threads of their own.
    int ReaderThreadsRunning() const;

    // The read wait slice of the device objects made from now on.
    void SetReadWaitSlice(int ms);

    std::string ErrorText(int code) const { return platform_.ErrorText(code); }
    HidPlatform& Platform() const { return platform_; }

private:
    friend class TJvHidDevice;

    struct HandOff {
        enum class Kind { Report, Error, Reopen };
        Kind kind = Kind::Report;
        int code = 0;                      // Error
        std::vector<std::uint8_t> report;  // Report: report id first
    };

    void ScanOnce();
    std::shared_ptr<TJvHidDevice> MakeDevice(const HidDeviceInfo& info);
    void Deliver(const std::weak_ptr<TJvHidDevice>& device, const std::shared_ptr<TJvHidDevice::HandOffState>& state,
                 std::uint64_t sequence, const HandOff& handOff);
    // One report (report id first) or read error of a taken device, to the
    // program's handlers.
    void DeliverReport(TJvHidDevice& device, std::span<const std::uint8_t> report);
    void DeliverError(TJvHidDevice& device, int error);

    HidPlatform& platform_;
    std::vector<std::shared_ptr<TJvHidDevice>> devices_;
    bool scanning_ = false;
    bool scanAgain_ = false;
    bool firstScanDone_ = false;
    int scansRun_ = 0;
    int readWaitSliceMs_ = TJvHidDevice::kDefaultReadWaitSliceMs;
};

}  // namespace tr640
