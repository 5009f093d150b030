// SPDX-License-Identifier: GPL-3.0-or-later
#include "soak/SoakUser.h"

#include "soak/SoakRig.h"
#include "ui/Controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <QtCharts/QChartView>

#include <array>

namespace tr640::soak {

namespace {

// What people type: numbers in and out of every range, decimals, and a
// few things that are not numbers at all.
constexpr std::array kTyped = {"0",   "-6",    "12",  "1000", "250.5", "20000", "0.7", "3",
                               "150", "-30.5", "abc", "",     "-",     "99999", "1e3", "8"};

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

void Wheel(QWidget* widget, int delta) {
    const QPointF local = QRectF(widget->rect()).center();
    QWheelEvent event(local, widget->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

}  // namespace

SoakUser::SoakUser(SoakRig& rig, unsigned seed) : rig_(rig), random_(seed) {}

TForm1& SoakUser::w() { return rig_.mainWindow(); }
TForm14& SoakUser::compressor() { return rig_.program().compressorWindow(); }

int SoakUser::Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
bool SoakUser::Chance(double p) { return std::bernoulli_distribution(p)(random_); }

template <typename T>
std::vector<T*> SoakUser::Visible() {
    std::vector<T*> out;
    for (T* widget : w().findChildren<T*>())
        if (widget->isVisible() && widget->isEnabled()) out.push_back(widget);
    return out;
}

template <typename T>
T* SoakUser::PickVisible(const std::vector<T*>& widgets) {
    std::vector<T*> visible;
    for (T* widget : widgets)
        if (widget->isVisible() && widget->isEnabled()) visible.push_back(widget);
    if (visible.empty()) return nullptr;
    return visible[static_cast<std::size_t>(Uniform(0, static_cast<int>(visible.size()) - 1))];
}

const char* SoakUser::Act(bool pressLink) {
    struct Action {
        const char* name;
        int weight;
        void (SoakUser::*run)();
    };
    static constexpr std::array<Action, 15> kActions = {{
        {"type", 14, &SoakUser::TypeIntoField},
        {"step", 12, &SoakUser::StepField},
        {"wheel", 6, &SoakUser::TurnWheel},
        {"drag handle", 10, &SoakUser::DragHandle},
        {"bypass", 6, &SoakUser::TickBypass},
        {"slider", 10, &SoakUser::MoveSlider},
        {"list item", 6, &SoakUser::PickListItem},
        {"page", 6, &SoakUser::ChangePage},
        {"mode recall", 2, &SoakUser::RecallMode},
        {"mode save", 2, &SoakUser::SaveMode},
        {"preset save", 3, &SoakUser::SavePreset},
        {"preset load", 5, &SoakUser::LoadPreset},
        {"eq reset", 1, &SoakUser::ResetEq},
        {"compressor", 8, &SoakUser::ShapeCompressor},
        {"link button", 1, &SoakUser::PressLink},
    }};
    int total = 0;
    for (const Action& a : kActions) total += a.weight;
    int pick = Uniform(0, total - 1);
    for (const Action& a : kActions) {
        if (pick < a.weight) {
            if (a.run == &SoakUser::PressLink && !pressLink) return "";
            // The person works in the window in front, as the keyboard
            // focus (and leaving a field, which commits it) needs.
            QWidget* front = a.run == &SoakUser::ShapeCompressor && compressor().isVisible()
                                 ? static_cast<QWidget*>(&compressor())
                                 : static_cast<QWidget*>(&w());
            if (QApplication::activeWindow() != front) QApplication::setActiveWindow(front);
            ++taken_[a.name];
            rig_.Note(std::string("user: ") + a.name);
            (this->*a.run)();
            return a.name;
        }
        pick -= a.weight;
    }
    return "";
}

void SoakUser::TypeIntoField() {
    QLineEdit* field = PickVisible(w().EntryFields());
    if (field == nullptr) return;
    Click(field);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, QString::fromLatin1(kTyped[static_cast<std::size_t>(Uniform(0, kTyped.size() - 1))]));
    QTest::keyClick(field, Chance(0.8) ? Qt::Key_Return : Qt::Key_Tab);
}

void SoakUser::StepField() {
    QLineEdit* field = PickVisible(w().EntryFields());
    if (field == nullptr) return;
    Click(field);
    const Qt::Key key = Chance(0.5) ? Qt::Key_Up : Qt::Key_Down;
    for (int n = Uniform(1, 6); n > 0; --n) QTest::keyClick(field, key);
}

void SoakUser::TurnWheel() {
    QLineEdit* field = PickVisible(w().EntryFields());
    if (field == nullptr) return;
    Click(field);
    const int delta = Chance(0.5) ? 120 : -120;
    for (int n = Uniform(1, 4); n > 0; --n) Wheel(field, delta);
}

void SoakUser::DragHandle() {
    std::vector<QWidget*> handles(w().BandHandles.begin(), w().BandHandles.end());
    QWidget* handle = PickVisible(handles);
    if (handle == nullptr) return;
    // After the press the handle keeps the mouse: each move goes to it,
    // with the pointer's position inside it wherever it has got to.
    const QPoint inside(7, 7);
    QPoint pointer = handle->pos() + inside;
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, inside);
    for (int n = Uniform(2, 8); n > 0; --n) {
        pointer += QPoint(Uniform(-25, 25), Uniform(-15, 15));
        QTest::mouseMove(handle, pointer - handle->pos());
        QTest::qWait(Uniform(5, 45));  // the refresh timer applies the drag meanwhile
    }
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, pointer - handle->pos());
}

void SoakUser::TickBypass() {
    if (QCheckBox* box = PickVisible(Visible<QCheckBox>())) Click(box);
}

void SoakUser::MoveSlider() {
    QSlider* bar = PickVisible(Visible<QSlider>());
    if (bar == nullptr) return;
    static constexpr std::array kKeys = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
    const Qt::Key key = kKeys[static_cast<std::size_t>(Uniform(0, kKeys.size() - 1))];
    for (int n = Uniform(1, 5); n > 0; --n) QTest::keyClick(bar, key);
}

void SoakUser::PickListItem() {
    std::vector<QComboBox*> boxes;
    for (QComboBox* box : Visible<QComboBox>())
        if (box != w().SysModeBox && box != w().SysSaveModeBox) boxes.push_back(box);
    QComboBox* box = PickVisible(boxes);
    if (box != nullptr) QTest::keyClick(box, Chance(0.5) ? Qt::Key_Down : Qt::Key_Up);
}

void SoakUser::ChangePage() {
    QTabWidget* pages = Chance(0.5) || !w().AdvPageControl2->isVisible() ? w().AdvPageControl1 : w().AdvPageControl2;
    QTabBar* bar = pages->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(Uniform(0, bar->count() - 1)).center());
}

// A mode command now and then comes right after a change, so that it has
// to wait behind it (and behind the keep-alive in flight); changes made
// just before it must still reach the unit.
void SoakUser::ChangeFirstSometimes() {
    if (Chance(0.5)) MoveSlider();
}

void SoakUser::RecallMode() {
    if (!w().SysModeBox->isVisible()) return;
    ChangeFirstSometimes();
    w().SysModeBox->setCurrentIndex(Uniform(0, w().SysModeBox->count() - 1));
}

void SoakUser::SaveMode() {
    if (!w().SysSaveModeBox->isVisible()) return;
    ChangeFirstSometimes();
    w().SysSaveModeBox->setCurrentIndex(Uniform(0, w().SysSaveModeBox->count() - 1));
}

void SoakUser::SavePreset() {
    if (w().RzButton6->isVisible()) Click(w().RzButton6);
}

// Also while the link is busy (a transfer, a mode wait) or gone: the file
// is then not taken, and nothing of it may show later.
void SoakUser::LoadPreset() {
    if (w().RzButton4->isVisible()) Click(w().RzButton4);
}

void SoakUser::ResetEq() {
    if (w().MusEQAllPassBtn->isVisible()) Click(w().MusEQAllPassBtn);
}

void SoakUser::ShapeCompressor() {
    TForm14& form = compressor();
    if (!form.isVisible()) {
        const std::vector<QPushButton*> curveButtons = {w().RzButton1, w().RzButton2, w().RzButton3};
        if (QPushButton* button = PickVisible(curveButtons)) Click(button);
        return;
    }
    switch (Uniform(0, 5)) {
    case 0:
    case 1: {
        const std::array fields = {form.RzSpinEdit1, form.RzSpinEdit2, form.RzSpinEdit3, form.RzSpinEdit4,
                                   form.RzSpinEdit5, form.RzSpinEdit6, form.RzSpinEdit7, form.RzSpinEdit8,
                                   form.RzSpinEdit9, form.RzSpinEdit10};
        QSpinBox* field = fields[static_cast<std::size_t>(Uniform(0, fields.size() - 1))];
        const Qt::Key key = Chance(0.5) ? Qt::Key_Up : Qt::Key_Down;
        for (int n = Uniform(1, 8); n > 0; --n) QTest::keyClick(field, key);
        break;
    }
    case 2: {
        QWidget* viewport = form.Chart1->viewport();
        QPoint at = form.PointPosition(Uniform(0, 4));
        QTest::mousePress(viewport, Qt::LeftButton, {}, at);
        for (int n = Uniform(1, 4); n > 0; --n) {
            at += QPoint(Uniform(-30, 30), Uniform(-30, 30));
            QTest::mouseMove(viewport, at);
        }
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        break;
    }
    case 3: Click(form.RzButton2); break;  // Modify: the curve goes to the device
    case 4: Click(form.RzButton3); break;  // Reset
    default: form.close(); break;
    }
}

void SoakUser::PressLink() { Click(w().LinkBtn); }

}  // namespace tr640::soak
