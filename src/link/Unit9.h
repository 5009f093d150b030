// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/FrameSender.h"
#include "link/Link.h"
#include "link/LinkPorts.h"
#include "link/MainWindowLink.h"
#include "link/QtLinkTimer.h"
#include "link/ReportTransport.h"
#include "link/hid/HidDeviceController.h"
#include "link/hid/HidLinkHandlers.h"
#include "model/ParamStore.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace tr640 {

class Dialogs;
class StatusDisplay;

// What the link writes through: the HID stack over a platform (the program
// and the demo: the link window then owns the device controller), or a
// transport straight to a device (tests that drive everything on one thread).
struct LinkBackend {
    LinkBackend(HidPlatform& p) : platform(&p) {}           // NOLINT: implicit on purpose
    LinkBackend(ReportTransport& t) : transport(&t) {}      // NOLINT: implicit on purpose
    HidPlatform* platform = nullptr;
    ReportTransport* transport = nullptr;
};

// The link window: never shown, it is the home of the link. It owns the
// link's three timers, the frame sender and the link itself, the traffic
// log and the device list, and answers the link through the main window's
// link label, the status window and the message boxes.
class TForm9 : public QWidget {
    Q_OBJECT

public:
    // The oldest traffic lines go beyond this: a day of keep-alives would
    // otherwise grow the log without bound.
    static constexpr int kHistoryLimit = 5000;

    TForm9(ParamStore& store, const int& language, LinkBackend backend, Dialogs& dialogs, StatusDisplay& statusWindow,
           MainWindowLink& mainWindow, QWidget* parent = nullptr);
    ~TForm9() override;

    Link& link() { return link_; }
    const Link& link() const { return link_; }
    FrameSender& sender() { return sender_; }

    // One whole input report (report id first) from any taken device.
    void OnInputReport(const std::vector<std::uint8_t>& report);

    // Adds a line to the traffic log and selects it as the newest.
    void LogTraffic(const QString& line);

    // Tick handlers of the three timers, also called directly by tests.
    void Timer1Timer();
    void Timer2Timer();
    void HoldTimerTimer();

    // Events of the HID device controller (only with a HID backend).
    void HidCtlArrival(TJvHidDevice& device);
    void HidCtlRemoval(TJvHidDevice& device);
    void HidCtlDeviceChange();
    bool HidCtlEnumerate(TJvHidDevice& device, int index);
    void HidCtlDeviceData(TJvHidDevice& device, std::uint8_t reportId, std::span<const std::uint8_t> data,
                          std::size_t length);
    void HidCtlDeviceDataError(TJvHidDevice& device, int error);

    // The device controller, null without a HID backend.
    TJvHidDeviceController* HidCtl = nullptr;
    HidLinkHandlers* hidHandlers() { return hid_ ? &hid_->handlers : nullptr; }

    QTimer* Timer1;     // 1000 ms: repeats the KeyFrame until the device answers
    QTimer* Timer2;     // 50 ms: paces block transfers
    QTimer* HoldTimer;  // 40 ms: change queue, keep-alive, mode command waits
    QPushButton* LinkBtn = nullptr;
    QListWidget* HistoryListBox = nullptr;
    QListWidget* DevListBox = nullptr;
    QLabel* ReportID = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class ViewPort;
    class HidPort;
    // The controller and the handlers the six HID events forward to.
    struct HidSide {
        explicit HidSide(HidPlatform& platform) : controller(platform), handlers(controller) {}
        TJvHidDeviceController controller;
        HidLinkHandlers handlers;
    };

    void BindHidEvents();

    static QTimer* MakeTimer(QWidget* owner, const char* name, int intervalMs);

    QtLinkTimer connectTimer_;
    QtLinkTimer transferTimer_;
    QtLinkTimer holdTimer_;
    std::unique_ptr<HidSide> hid_;
    std::unique_ptr<HidPort> hidPort_;
    FrameSender sender_;
    std::unique_ptr<ViewPort> view_;
    Link link_;
};

}  // namespace tr640
