// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/Link.h"
#include "link/MainWindowLink.h"
#include "link/TrafficBacklog.h"
#include "link/UnitSession.h"
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

class StatusDisplay;

// The link window: never shown, it is the windows' home of the unit's
// session. It shows the session's traffic log and device list, and passes
// what the session reports to the main window's link label and boxes and
// to the status window.
class TForm9 : public QWidget {
    Q_OBJECT

public:
    // The oldest traffic lines go beyond this: a day of keep-alives would
    // otherwise grow the log without bound.
    static constexpr int kHistoryLimit = 5000;

    TForm9(ParamStore& store, const int& language, LinkBackend backend, StatusDisplay& statusWindow,
           MainWindowLink& mainWindow, QWidget* parent = nullptr);
    ~TForm9() override;

    UnitSession& session() { return *session_; }
    const UnitSession& session() const { return *session_; }
    Link& link() { return session_->link(); }
    const Link& link() const { return session_->link(); }
    FrameSender& sender() { return session_->sender(); }

    // One whole input report (report id first) from any taken device.
    void OnInputReport(const std::vector<std::uint8_t>& report);

    // Adds a line to the traffic log and selects it as the newest. While the
    // window is hidden the lines wait (the newest kHistoryLimit of them) and
    // go into the list when it is shown: every frame of the keep-alive is
    // logged, and a list nobody sees is not worth its work twelve times a
    // second for days.
    void LogTraffic(const QString& line);
    // A frame's line, likewise; while hidden it waits as its bytes.
    void LogFrame(const TrafficFrame& frame);
    // Replaces the newest line of the log, waiting or listed, with `now` if
    // it reads `was`; false, and nothing changed, otherwise.
    bool AmendLastTraffic(const QString& was, const QString& now);

    // Tick handlers of the three timers, also called directly by tests.
    void Timer1Timer() { session_->Timer1Timer(); }
    void Timer2Timer() { session_->Timer2Timer(); }
    void HoldTimerTimer() { session_->HoldTimerTimer(); }

    QTimer* Timer1;     // the session's connect timer
    QTimer* Timer2;     // the session's transfer timer
    QTimer* HoldTimer;  // the session's hold timer
    QPushButton* LinkBtn = nullptr;
    QListWidget* HistoryListBox = nullptr;
    QListWidget* DevListBox = nullptr;
    QLabel* ReportID = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class Lines;

    void BuildControls(const int& language);
    void ShowWhatTheSessionReports(const int& language, StatusDisplay& status, MainWindowLink& main);

    void ShowWaitingTraffic();

    std::unique_ptr<Lines> lines_;
    TrafficBacklog waitingTraffic_{kHistoryLimit};
    UnitSession* session_;
};

}  // namespace tr640
