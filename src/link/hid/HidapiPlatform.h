// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/hid/AccessSettler.h"
#include "link/hid/HidPlatform.h"

#include <map>
#include <string>
#include <vector>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace tr640 {

// The machine's HID devices through hidapi's hidraw backend. hidapi has no
// notice of devices coming and going, so a udev monitor on the "hidraw"
// subsystem is watched from the event loop instead. Without udev (CI
// machines, containers) it still works: it lists what it can, which is
// usually nothing, and says so in a note.
class HidapiPlatform : public HidPlatform {
    Q_OBJECT

public:
    explicit HidapiPlatform(QObject* parent = nullptr);
    ~HidapiPlatform() override;

    std::vector<HidDeviceInfo> Enumerate() override;
    std::unique_ptr<HidConnection> Open(const std::string& path, int* error) override;
    std::unique_ptr<HidConnection> OpenForReading(const std::string& path, int* error) override;
    std::string ErrorText(int code) const override;
    std::vector<std::string> TakeNotes() override;

    // Whether plugging and unplugging will be noticed.
    bool Monitoring() const { return monitoring_; }
    AccessSettler& Settler() { return settler_; }

private:
    void OnMonitorReadable();
    void Removed(const std::string& node);
    std::string Instance(const std::string& path) const;

    bool hidReady_ = false;
    bool monitoring_ = false;
    bool firstListing_ = true;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    AccessSettler settler_;
    std::map<std::string, int> removals_;  // per node, the removals udev announced
    std::vector<std::string> notes_;
};

// Read/write access to a device node: 0, or the error code.
int ProbeReadWriteAccess(const std::string& path);

// The kernel's name of the HID device behind a hidraw node
// ("0003:0483:6912.000A"), new on every plug; empty when sysfs has none.
std::string HidInstanceName(const std::string& path);

}  // namespace tr640
