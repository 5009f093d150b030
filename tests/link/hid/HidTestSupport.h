// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/hid/HidDeviceController.h"
#include "link/hid/HidLinkHandlers.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

namespace tr640::testing {

// Long enough for any hand-off between threads on a loaded machine; a test
// that waits this long has failed.
inline constexpr int kHandOffTimeoutMs = 5000;

// Runs the event loop until the condition holds, for at most timeoutMs.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = kHandOffTimeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Lets the event loop deliver what is already queued (device notices,
// hand-offs already posted) without waiting for anything new.
inline void Settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// The link window's side, recorded: device list, traffic log, report id
// field, presence calls and the replies handed to the parser.
class RecordingPort : public HidLinkPort {
public:
    std::vector<std::string> lines;
    int currentLine = -1;
    std::vector<std::string> log;
    std::vector<std::string> reportIds;
    std::vector<std::string> presence;  // "DevicePresent" / "NoDevicePresent"
    int notPermitted = 0;               // DeviceNotPermitted calls
    std::vector<std::vector<std::uint8_t>> replies;

    std::function<void()> onDevicePresent;
    std::function<void()> onNoDevicePresent;
    std::function<void(std::span<const std::uint8_t>)> onReply;

    void ClearDeviceLines() override {
        lines.clear();
        currentLine = -1;
    }
    void AddDeviceLine(const std::string& text) override { lines.push_back(text); }
    void SetCurrentDeviceLine(int row) override { currentLine = row; }
    void AddLogLine(const std::string& line) override { log.push_back(line); }
    bool AmendLastLogLine(const std::string& was, const std::string& now) override {
        if (log.empty() || log.back() != was) return false;
        log.back() = now;
        return true;
    }
    void SetReportId(const std::string& text) override { reportIds.push_back(text); }
    void DevicePresent() override {
        presence.push_back("DevicePresent");
        if (onDevicePresent) onDevicePresent();
    }
    void NoDevicePresent() override {
        presence.push_back("NoDevicePresent");
        if (onNoDevicePresent) onNoDevicePresent();
    }
    void DeviceNotPermitted() override { ++notPermitted; }
    void ParseReply(std::span<const std::uint8_t> reply) override {
        replies.emplace_back(reply.begin(), reply.end());
        if (onReply) onReply(reply);
    }

    int CountLogStartingWith(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : log) n += l.rfind(prefix, 0) == 0;
        return n;
    }
};

// The transport on a virtual bus with the handlers bound, as the link
// window wires them. The virtual TR640 is declared first: the bus's devices
// refer to it until the bus is gone.
class HidBusFixture : public ::testing::Test {
protected:
    explicit HidBusFixture(VirtualHidBus::Behaviour behaviour = VirtualHidBus::Behaviour::Kind) : bus(behaviour) {
        handlers.BindEvents();
    }

    std::string PlugTr640(VirtualTr640& unit, std::string serial = {}) {
        return bus.Plug(VirtualTr640Info(std::move(serial)), std::make_shared<VirtualTr640Endpoint>(unit));
    }
    std::string PlugKeyboard() {
        keyboard = std::make_shared<VirtualKeyboard>();
        return bus.Plug(VirtualKeyboardInfo(), keyboard);
    }

    // Waits until every reply the device sent has reached the parser.
    bool SyncReplies(const VirtualTr640& unit) {
        return WaitFor([&] { return port.replies.size() >= unit.Stats().repliesSent; });
    }

    VirtualTr640 device;
    VirtualTr640 device2;
    std::shared_ptr<VirtualKeyboard> keyboard;
    VirtualHidBus bus;
    TJvHidDeviceController ctl{bus};
    RecordingPort port;
    HidLinkHandlers handlers{ctl, &port};
};

}  // namespace tr640::testing
