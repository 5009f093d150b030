// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/EqGraph.h"
#include "link/Link.h"
#include "link/Unit9.h"
#include "model/ParamAddress.h"
#include "support/QuietOffscreen.h"
#include "support/ScriptedDialogs.h"
#include "ui/Controls.h"
#include "ui/Program.h"
#include "ui/Unit1.h"
#include "virtualdevice/VirtualTransport.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

namespace tr640::testing {

// The whole program with its own EQ graph, over a virtual TR640 that starts
// unplugged. Nothing runs by itself: the tests tick the main window's
// refresh timer and the link's timers by hand and hand the device's replies
// over between ticks.
class GraphFixture : public ::testing::Test {
protected:
    GraphFixture() {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        program = std::make_unique<Program>(transport, std::move(scripted));
        transport.SetSelected(false);
        transport.SetReplyHandler(
            [this](const std::vector<std::uint8_t>& reply) { program->linkWindow().OnInputReport(reply); });
        program->Start();
        QApplication::setActiveWindow(&w());
        w().Timer1->stop();
    }

    TForm1& w() { return program->mainWindow(); }
    EqGraph& graph() { return program->eqGraph(); }
    ParamStore& store() { return program->store(); }
    ModelState& state() { return program->state(); }
    Link& link() { return program->link(); }
    TForm9& linkWindow() { return program->linkWindow(); }
    const QImage& Bitmap() { return w().Image1->Bitmap(); }

    // One tick of the main window's refresh timer. The tick restarts the
    // timer when it applies or draws something; it is stopped again so that
    // only the test ticks it.
    void Tick() {
        w().Timer1Timer();
        w().Timer1->stop();
    }

    // Writes a band into the device image and refreshes every control from
    // it, as a connection's read or a preset load does.
    void SetBand(int mic, int band, int type, int hertz, int gainStep, int qIndex) {
        const int values[kSlotsPerBand] = {type, hertz, gainStep, qIndex, qIndex};
        for (int slot = 0; slot < kSlotsPerBand; ++slot) store().SetDevice(BandAddress(mic, band, slot), values[slot]);
    }
    void Refresh() { w().RefreshAll(); }

    QRgb Pixel(int x, int y) { return Bitmap().pixel(x, y) & 0xFFFFFFu; }
    static QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b) & 0xFFFFFFu; }

    QLabel* Label(const char* name) { return w().EQAdvPanel->findChild<QLabel*>(QString::fromLatin1(name)); }
    BitmapImage* Handle(int band) { return w().BandHandles[static_cast<std::size_t>(band)]; }

    // --- The mouse on a handle, as the user moves it ---------------------------
    // After the press the handle keeps the mouse: every move goes to it with
    // the position inside it, wherever it has got to by then.

    void Press(QWidget* handle, QPoint inside = QPoint(7, 7)) {
        pointer_ = handle->pos() + inside;
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, inside);
    }
    void MoveBy(QWidget* handle, int dx, int dy) {
        pointer_ += QPoint(dx, dy);
        QTest::mouseMove(handle, pointer_ - handle->pos());
    }
    void Release(QWidget* handle) { QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, pointer_ - handle->pos()); }

    // --- The link, by hand ------------------------------------------------------

    void Pump() {
        device.Tick();
        transport.DeliverReplies();
    }
    void TickLink(QTimer* timer, void (TForm9::*handler)()) {
        Pump();
        if (timer->isActive()) (linkWindow().*handler)();
        Pump();
    }
    void TickHold() { TickLink(linkWindow().HoldTimer, &TForm9::HoldTimerTimer); }
    void Connect() {
        transport.SetSelected(true);
        link().DevicePresent();
        TickLink(linkWindow().Timer1, &TForm9::Timer1Timer);
        for (int n = 0; linkWindow().Timer2->isActive() && n < 500; ++n)
            TickLink(linkWindow().Timer2, &TForm9::Timer2Timer);
        ASSERT_EQ(link().Vars().linkState, kLinkedIdle);
        device.ClearWriteLog();
    }
    std::vector<VirtualTr640::WriteRecord> Writes() const { return device.WriteLog(); }

    QuietOffscreen quiet;
    VirtualTr640 device;
    VirtualTransport transport{device};
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<Program> program;

private:
    QPoint pointer_;  // where the mouse is, inside the surface's panel
};

}  // namespace tr640::testing
