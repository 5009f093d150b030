// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/Link.h"
#include "link/Unit9.h"
#include "model/ParamAddress.h"
#include "support/QuietOffscreen.h"
#include "support/ScriptedDialogs.h"
#include "ui/ControlTag.h"
#include "ui/Controls.h"
#include "ui/Program.h"
#include "ui/Unit1.h"
#include "ui/Unit4.h"
#include "virtualdevice/VirtualTransport.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <memory>
#include <utility>
#include <vector>

namespace tr640::testing {

// Stands in for the EQ graph: records what the window asks of it.
class RecordingGraph : public EqGraphHooks {
public:
    struct Draw {
        int band;
        int mic;
        bool operator==(const Draw&) const = default;
    };
    std::vector<bool> setUps;
    std::vector<Draw> draws;
    int dragSteps = 0;
    bool dragWork = false;
    std::vector<std::pair<QString, QEvent::Type>> handleEvents;

    void SetUpGraph(bool createLabels) override { setUps.push_back(createLabels); }
    void DrawEq(int selectedBand, int mic) override { draws.push_back({selectedBand, mic}); }
    void ApplyDragStep() override { ++dragSteps; }
    bool DragWorkWaiting() const override { return dragWork; }
    void HandleMouseDown(QWidget* handle, QMouseEvent& e) override { Record(handle, e); }
    void HandleMouseMove(QWidget* handle, QMouseEvent& e) override { Record(handle, e); }
    void HandleMouseUp(QWidget* handle, QMouseEvent& e) override { Record(handle, e); }

private:
    void Record(QWidget* handle, QMouseEvent& e) { handleEvents.emplace_back(handle->objectName(), e.type()); }
};

// The whole program over a virtual TR640 that starts unplugged. No event
// loop runs: the tests call the timers' tick handlers and hand the device's
// replies over between ticks. The main window's refresh timer is stopped
// after start-up, so that only the tests tick it.
class MainWindowFixture : public ::testing::Test {
protected:
    MainWindowFixture() {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        program = std::make_unique<Program>(transport, std::move(scripted));
        transport.SetSelected(false);
        transport.SetReplyHandler(
            [this](const std::vector<std::uint8_t>& reply) { program->linkWindow().OnInputReport(reply); });
        w().SetEqGraph(&graph);
        program->Start();
        QApplication::setActiveWindow(&w());
        w().Timer1->stop();
    }

    TForm1& w() { return program->mainWindow(); }
    TForm9& linkWindow() { return program->linkWindow(); }
    Link& link() { return program->link(); }
    ParamStore& store() { return program->store(); }
    ModelState& state() { return program->state(); }

    // --- The link, by hand -----------------------------------------------------

    void Pump() {
        device.Tick();
        transport.DeliverReplies();
    }
    void Tick(QTimer* timer, void (TForm9::*handler)()) {
        Pump();
        if (timer->isActive()) (linkWindow().*handler)();
        Pump();
    }
    void TickHold() { Tick(linkWindow().HoldTimer, &TForm9::HoldTimerTimer); }
    void RunTransfer() {
        for (int n = 0; linkWindow().Timer2->isActive() && n < 500; ++n)
            Tick(linkWindow().Timer2, &TForm9::Timer2Timer);
    }
    // The device plugged in, the key taken and both pages read.
    void Connect() {
        transport.SetSelected(true);
        link().DevicePresent();
        Tick(linkWindow().Timer1, &TForm9::Timer1Timer);
        RunTransfer();
        ASSERT_EQ(link().Vars().linkState, kLinkedIdle);
        device.ClearWriteLog();
        dialogs->calls.clear();
    }
    // Accepted single writes of one address, in order.
    std::vector<std::uint16_t> WritesTo(int address) const {
        std::vector<std::uint16_t> out;
        for (const auto& write : device.WriteLog())
            if (write.address == address) out.push_back(write.value);
        return out;
    }

    // --- Input, as the user gives it ------------------------------------------

    void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    void Type(QWidget* widget, const char* text) { QTest::keyClicks(widget, QString::fromLatin1(text)); }
    void Key(QWidget* widget, Qt::Key key) { QTest::keyClick(widget, key); }
    // A key that types non-ASCII text (keyClicks cannot send it).
    void TypeText(QWidget* widget, const QString& text) {
        QTest::sendKeyEvent(QTest::KeyAction::Click, widget, Qt::Key_unknown, text, Qt::NoModifier);
    }
    // Replaces a field's whole text as the user would: click, select all, type.
    void Retype(QLineEdit* field, const char* text) {
        Click(field);
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        Type(field, text);
    }
    // One notch of the mouse wheel (120 units, or `delta`) over `widget`.
    bool Wheel(QWidget* widget, int delta = 120) {
        const QPointF local = QRectF(widget->rect()).center();
        QWheelEvent event(local, widget->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(widget, &event);
        return event.isAccepted();
    }
    // Selects a list box item as the user does (the box raises its change).
    static void Choose(QComboBox* box, int index) { box->setCurrentIndex(index); }

    QString Text(QWidget* widget) const {
        if (auto* field = qobject_cast<QLineEdit*>(widget)) return field->text();
        if (auto* box = qobject_cast<QComboBox*>(widget)) return box->currentText();
        if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
        return {};
    }

    QuietOffscreen quiet;
    VirtualTr640 device;
    VirtualTransport transport{device};
    RecordingGraph graph;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<Program> program;
};

}  // namespace tr640::testing
