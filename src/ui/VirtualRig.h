// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/Program.h"
#include "virtualdevice/VirtualTransport.h"
#include "virtualdevice/VirtualTr640.h"

#include <QTimer>

#include <memory>

namespace tr640 {

// The whole program over a virtual TR640 connected straight to the link,
// without a HID bus: everything stays on one thread, so the screenshots
// and the tests drive it step by step. The device's replies reach the link
// through the event queue, as a real device's would, and a clock timer
// lets delayed replies come due.
class VirtualRig {
public:
    static constexpr int kDeviceClockMs = 10;

    // `dialogs` answers the program's boxes; null means the real ones.
    explicit VirtualRig(std::unique_ptr<Dialogs> dialogs = nullptr, int language = kLanguageChinese);

    void Plug();
    void Unplug();
    void Silence(bool silent) { device_.SetSilent(silent); }
    bool Plugged() const { return transport_.IsDeviceSelected(); }

    VirtualTr640& device() { return device_; }
    VirtualTransport& transport() { return transport_; }
    Program& program() { return program_; }

private:
    VirtualTr640 device_;
    VirtualTransport transport_{device_};
    Program program_;
    QTimer deviceClock_;
};

}  // namespace tr640
