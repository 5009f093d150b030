// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/hid/HidPlatform.h"

#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tr640 {

class VirtualTr640;
struct VirtualHidNode;

// What sits behind a virtual HID device: it takes the output reports written
// to the device and sends input reports, which every open connection of the
// device can then read. The base class answers nothing.
class VirtualHidEndpoint {
public:
    virtual ~VirtualHidEndpoint() = default;

    // One output report, on the thread that wrote it. A non-zero result is
    // the error code of a failed write.
    virtual int OnOutputReport(std::span<const std::uint8_t> report);

    // Sends one input report (report id first); any thread. Dropped while
    // the device is not plugged in.
    void SendInputReport(std::span<const std::uint8_t> report);

private:
    friend class VirtualHidBus;
    std::weak_ptr<VirtualHidNode> node_;
};

// A HID bus whose devices are plugged in and pulled out by code, for tests
// and benchmarks. Behaves towards the controller as the real platform does:
// plugging and unplugging raise the device-change notice through the event
// loop, reads block for up to their time-out, each open connection gets its
// own copy of every input report (the oldest dropped beyond 64 waiting), and
// reads and writes on an unplugged device fail with ENODEV.
//
// Its connections poll as hidraw's do (see SetReadableDescriptors).
//
// By default it is kinder than Linux: every path is new and each notice is
// queued before any reader can see its device gone. Made LinuxLike, it
// behaves as hidraw and udev do: node numbers are handed out again lowest
// free first (so another device may take over a node), a reader sees ENODEV
// at once while the notices come late and together (held until
// DeliverNotices, or sent after a set delay), and access to a node can be
// denied at plug-in and granted later with a `change` notice.
class VirtualHidBus : public HidPlatform {
    Q_OBJECT

public:
    static constexpr std::size_t kQueuedReportsPerConnection = 64;

    enum class Behaviour { Kind, LinuxLike };

    explicit VirtualHidBus(QObject* parent = nullptr);
    explicit VirtualHidBus(Behaviour behaviour, QObject* parent = nullptr);
    ~VirtualHidBus() override;

    // Plugs a device in; its path is assigned here and returned. Every plug
    // gets an instance name of its own, as the kernel names HID devices.
    std::string Plug(HidDeviceInfo info, std::shared_ptr<VirtualHidEndpoint> endpoint);
    // Pulls a device out. Reads blocked on it return with ENODEV.
    void Unplug(const std::string& path);
    // Raises the device-change notice without a change.
    void NotifyChange();

    // LinuxLike: how long notices wait before they go out together; a
    // negative delay (the start) holds them until DeliverNotices.
    void SetNoticeDelay(int ms) { noticeDelayMs_ = ms; }
    // Sends the notices waiting, as one (LinuxLike).
    void DeliverNotices();
    int PendingNotices() const { return pendingNotices_; }

    // Fault knobs, per device; 0 clears. Opening fails with the code (the
    // device is then listed without read/write access); reads or writes fail
    // with the code.
    void SetOpenError(const std::string& path, int code);
    void SetReadError(const std::string& path, int code);
    void SetWriteError(const std::string& path, int code);
    // Who may open the node changed, as when udev applies a new rule: sets
    // the open error and raises a notice.
    void ChangeAccess(const std::string& path, int openError);
    // The next `count` opens fail with the code, while the listing still
    // shows access (a node busy for a moment).
    void FailNextOpens(const std::string& path, int code, int count);

    // What the program did to a device, for tests; with node numbers handed
    // out again, the device plugged in last at the path.
    int OpenCount(const std::string& path) const;    // connections ever opened
    int OpenConnections(const std::string& path) const;
    int ReadCalls(const std::string& path) const;
    int BlockedReads(const std::string& path) const; // reads waiting right now
    int WriteCount(const std::string& path) const;
    // Input reports, all devices together: taken by a read so far, and
    // waiting for the connections that have never written (the ones for
    // reading, of the devices plugged in).
    int ReportsRead() const;
    int ReportsWaiting() const;

    std::vector<HidDeviceInfo> Enumerate() override;
    std::unique_ptr<HidConnection> Open(const std::string& path, int* error) override;
    std::string ErrorText(int code) const override;
    std::vector<std::string> TakeNotes() override;

    // Whether the connections opened from now on offer a readable
    // descriptor, as hidraw's do (the default), so that the device is read
    // on the event loop; without one it is read by a thread of its own, as
    // on a platform that has none.
    void SetReadableDescriptors(bool offered) { readableDescriptors_ = offered; }

    // Adds a remark that the next scan hands to the log.
    void AddNote(std::string note) { notes_.push_back(std::move(note)); }

private:
    std::shared_ptr<VirtualHidNode> Find(const std::string& path) const;
    int NodeNumber();
    void PostNotice();

    Behaviour behaviour_ = Behaviour::Kind;
    std::vector<std::shared_ptr<VirtualHidNode>> nodes_;  // plugged in, in plug order
    std::map<std::string, std::shared_ptr<VirtualHidNode>> everPlugged_;
    int nextNumber_ = 0;
    unsigned plugSequence_ = 0;
    int noticeDelayMs_ = -1;
    int pendingNotices_ = 0;
    int readsOfReplacedNodes_ = 0;
    QTimer noticeTimer_;
    std::vector<std::string> notes_;
    bool readableDescriptors_ = true;
};

// Identities of the virtual devices the tests plug in.
HidDeviceInfo VirtualTr640Info(std::string serial = {});
HidDeviceInfo VirtualKeyboardInfo();

// Puts a virtual TR640 behind a virtual HID device: written reports go to
// the device, its replies come back as input reports of the device's input
// report length.
class VirtualTr640Endpoint : public VirtualHidEndpoint {
public:
    explicit VirtualTr640Endpoint(VirtualTr640& device, std::size_t inputReportLength = 65);
    ~VirtualTr640Endpoint() override;
    int OnOutputReport(std::span<const std::uint8_t> report) override;

private:
    VirtualTr640& device_;
    std::size_t inputLength_;
    std::vector<std::uint8_t> padded_;  // a reply made as long as an input report
};

// A stand-in keyboard: its key reports are input reports like any other.
class VirtualKeyboard : public VirtualHidEndpoint {
public:
    void Press(std::span<const std::uint8_t> report) { SendInputReport(report); }
};

}  // namespace tr640
