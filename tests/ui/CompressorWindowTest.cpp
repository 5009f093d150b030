// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/CompressorCurve.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"
#include "support/QuietOffscreen.h"
#include "ui/ColourButton.h"
#include "ui/Unit14.h"
#include "ui/Unit4.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QGraphicsEllipseItem>
#include <QGraphicsSimpleTextItem>
#include <QGroupBox>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTest>
#include <QValueAxis>

#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace tr640 {
namespace {

using testing::QuietOffscreen;
using Sent = std::vector<std::pair<int, std::int32_t>>;
using Whole = std::array<int, 5>;

// The window with a send function that stores into both images, as the
// link's SendParameter does, and records the calls.
class CompressorWindow : public ::testing::Test {
protected:
    CompressorWindow()
        : form(std::make_unique<TForm14>(store, [this](int address, std::int32_t value) {
              store.SetBoth(address, value);
              sent.emplace_back(address, value);
          })) {}

    void StoreCurve(int band, const CompressorCurve& curve) {
        const auto packed = PackCompressorCurve(curve);
        for (int k = 0; k < 5; ++k) store.SetShown(CompressorCurveAddress(band, k), packed[static_cast<std::size_t>(k)]);
    }
    // What the main window's curve button does; then the chart lays out.
    void Open(int band) {
        form->OpenForBand(band);
        QApplication::processEvents();
    }
    Whole Inputs() const {
        return {form->RzSpinEdit1->value(), form->RzSpinEdit3->value(), form->RzSpinEdit5->value(),
                form->RzSpinEdit7->value(), form->RzSpinEdit9->value()};
    }
    Whole Outputs() const {
        return {form->RzSpinEdit2->value(), form->RzSpinEdit4->value(), form->RzSpinEdit6->value(),
                form->RzSpinEdit8->value(), form->RzSpinEdit10->value()};
    }
    QColor ModifyColour() const { return form->RzButton2->palette().color(QPalette::Button); }
    static void Type(QSpinBox* field, const char* text) {
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(text));
        QTest::keyClick(field, Qt::Key_Return);
    }

    QuietOffscreen quiet;
    ParamStore store;
    Sent sent;
    std::unique_ptr<TForm14> form;
};

TEST_F(CompressorWindow, AsCreated) {
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form->size(), QSize(663, 320));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->windowTitle(), "中音 Compressor");  // loaded for the mid band

    QChart* chart = form->Chart1->chart();
    EXPECT_EQ(form->Chart1->objectName(), "Chart1");
    EXPECT_EQ(form->Chart1->geometry(), QRect(8, 8, 433, 305));
    EXPECT_EQ(chart->title(), "Compressor Curve");
    EXPECT_EQ(chart->backgroundBrush().color(), QColor(157, 255, 255));
    EXPECT_EQ(chart->plotAreaBackgroundBrush().color(), QColor(Qt::white));
    const auto series = chart->series();
    ASSERT_EQ(series.size(), 3);
    EXPECT_EQ(series[0]->objectName(), "Series3");
    EXPECT_EQ(series[1]->objectName(), "Series1");
    EXPECT_EQ(series[2]->objectName(), "Series2");
    for (auto [axis, min, max, interval, title] :
         {std::tuple{form->BottomAxis, -90.0, 6.5, 10.0, "Input/dB"}, std::tuple{form->LeftAxis, -115.0, 20.0, 20.0, "Output/dB"}}) {
        EXPECT_EQ(std::make_pair(axis->min(), axis->max()), std::make_pair(min, max)) << title;
        EXPECT_EQ(axis->tickInterval(), interval) << title;
        EXPECT_EQ(axis->labelFormat(), "%.0fdB") << title;
        EXPECT_EQ(axis->titleText(), title);
        EXPECT_EQ(axis->titleBrush().color(), QColor(0, 128, 0)) << title;
        EXPECT_TRUE(axis->titleFont().bold()) << title;
        EXPECT_EQ(axis->gridLinePen().style(), Qt::SolidLine) << title;
    }
    EXPECT_EQ(form->Series3->pen().color(), QColor(255, 255, 128));
    EXPECT_EQ(form->Series3->pen().style(), Qt::DotLine);
    EXPECT_EQ(form->Series3->points(), (QList<QPointF>{{-90, -90}, {6, 6}}));
    EXPECT_EQ(form->Series1->pen(), QPen(Qt::red, 2));
    EXPECT_EQ(form->Series2->markerSize(), 10.0);
    EXPECT_EQ(form->Series2->color(), QColor(Qt::red));
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(form->Series2Marks[static_cast<std::size_t>(k)]->text(), QString::number(k));
        EXPECT_TRUE(form->Series2Marks[static_cast<std::size_t>(k)]->font().bold());
    }

    EXPECT_FALSE(form->RzSpinEdit1->isEnabled());
    EXPECT_FALSE(form->RzSpinEdit9->isEnabled());
    EXPECT_EQ(std::make_pair(form->RzSpinEdit5->minimum(), form->RzSpinEdit5->maximum()), std::make_pair(-90, 6));
    EXPECT_EQ(std::make_pair(form->RzSpinEdit6->minimum(), form->RzSpinEdit6->maximum()), std::make_pair(-113, 15));
    EXPECT_EQ(form->RzSpinEdit10->objectName(), "RzSpinEdit10");
    EXPECT_EQ(Hint(form->RMSGropbox), "动态压缩");
    EXPECT_EQ(std::make_pair(form->RzButton2->text(), Hint(form->RzButton2)), std::make_pair(QString("Modify"), QString("修改")));
    EXPECT_EQ(std::make_pair(form->RzButton3->text(), Hint(form->RzButton3)), std::make_pair(QString("Reset"), QString("复位")));

    // An empty store is (-200, -200) dB per point, brought to the limits.
    EXPECT_EQ(Inputs(), (Whole{-90, -90, -90, -90, 6}));
    EXPECT_EQ(Outputs(), (Whole{-113, -113, -113, -113, -113}));
    EXPECT_TRUE(sent.empty());
}

TEST_F(CompressorWindow, OpeningForABandLoadsItFromTheShownImage) {
    QWidget mainWindow;
    mainWindow.setGeometry(100, 100, 883, 565);
    form->SetMainWindow(&mainWindow);
    const CompressorCurve low{{-90, -60, -30, -10, 6}, {-90, -55, -28, -18, -12}};
    StoreCurve(0, low);
    store.SetDevice(CompressorCurveAddress(0, 1), EncodeCompressorPoint(-20, -20));  // not what is shown

    Open(0);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(form->pos(), mainWindow.frameGeometry().center() - QPoint(663 / 2, 320 / 2));  // centred
    EXPECT_EQ(form->windowTitle(), "低音 Compressor");
    EXPECT_EQ(form->Curve(), low);
    EXPECT_EQ(Outputs(), (Whole{-90, -55, -28, -18, -12}));
    EXPECT_EQ(form->Series1->at(2), QPointF(-30, -28));
    EXPECT_EQ(form->Series2->at(4), QPointF(6, -12));

    // Unapplied changes are dropped by opening again; only the first showing
    // places the window.
    Type(form->RzSpinEdit6, "-50");
    form->move(form->pos() + QPoint(30, 0));
    const QPoint placed = form->pos();
    EXPECT_TRUE(form->close());  // only hides
    EXPECT_FALSE(form->isVisible());
    Open(0);
    EXPECT_EQ(form->pos(), placed);
    EXPECT_EQ(form->Curve(), low);
    for (int band : {3, -1, INT_MAX}) {
        Open(band);
        EXPECT_EQ(form->Band(), 2) << band;
        EXPECT_EQ(form->windowTitle(), "高音 Compressor") << band;
    }
    EXPECT_TRUE(sent.empty());
}

TEST_F(CompressorWindow, TypedLevelsGoThroughLimitsAndOrderingWithoutSending) {
    StoreCurve(1, ResetCompressorCurve());
    Open(1);
    form->RzButton2->click();
    ASSERT_EQ(ModifyColour(), TForm14::AppliedColour());
    sent.clear();

    Type(form->RzSpinEdit6, "10");  // point 2 output, input -40
    EXPECT_EQ(form->RzSpinEdit6->value(), -4);
    EXPECT_EQ(ModifyColour(), TForm14::PendingColour());
    Type(form->RzSpinEdit3, "-20");  // point 1 input, point 2's is -40
    EXPECT_EQ(form->RzSpinEdit3->value(), -40);
    Type(form->RzSpinEdit4, "-10");
    Type(form->RzSpinEdit8, "-30");
    // Point 2 follows point 3 down; one pass leaves point 1 above them.
    EXPECT_EQ(Outputs(), (Whole{-90, -10, -30, -30, 6}));
    EXPECT_EQ(form->Series2->at(2), QPointF(-40, -30));
    form->RzSpinEdit10->stepUp();
    EXPECT_EQ(form->Curve().output[4], 7.0f);
    EXPECT_TRUE(sent.empty());
}

TEST_F(CompressorWindow, TypedNumbersAreTakenWholeAndClampedOnCommit) {
    StoreCurve(1, ResetCompressorCurve());
    Open(1);
    Type(form->RzSpinEdit10, "20");  // point 4 output, limited to 15
    EXPECT_EQ(form->RzSpinEdit10->value(), 15);
    Type(form->RzSpinEdit3, "-95");  // point 1 input, limited to -90
    EXPECT_EQ(form->RzSpinEdit3->value(), -90);
    Type(form->RzSpinEdit4, "-200");  // point 1 output, limited to -113
    EXPECT_EQ(form->RzSpinEdit4->value(), -113);
    EXPECT_EQ(form->Curve().output[1], -113.0f);
    // Focus moving on commits a typed number too; what is no number keeps
    // the value the field had.
    form->RzSpinEdit6->setFocus();
    form->RzSpinEdit6->selectAll();
    QTest::keyClicks(form->RzSpinEdit6, QStringLiteral("99"));
    form->RzSpinEdit8->setFocus();
    EXPECT_EQ(form->RzSpinEdit6->value(), -40 + 36);
    Type(form->RzSpinEdit8, "-");
    EXPECT_EQ(form->RzSpinEdit8->value(), 0);
}

TEST_F(CompressorWindow, ModifyAndReset) {
    StoreCurve(1, CompressorCurve{{-90, -60, -30, -10, 6}, {-90, -55, -28, -18, -12}});
    Open(1);
    Type(form->RzSpinEdit6, "-45");
    ASSERT_TRUE(sent.empty());

    QTest::mouseClick(form->RzButton2, Qt::LeftButton);
    EXPECT_EQ(ModifyColour(), TForm14::AppliedColour());
    ASSERT_EQ(sent.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(sent[i].first, 0x014A - static_cast<int>(i));
    EXPECT_EQ(sent[2].second, EncodeCompressorPoint(-30, -45));
    EXPECT_EQ(store.Shown(1, 72), EncodeCompressorPoint(-30, -45));
    Open(1);  // the same values again: no field changes, Modify stays silver
    EXPECT_EQ(ModifyColour(), TForm14::AppliedColour());

    sent.clear();
    QTest::mouseClick(form->RzButton3, Qt::LeftButton);
    EXPECT_EQ(form->Curve(), ResetCompressorCurve());
    EXPECT_EQ(Inputs(), (Whole{-90, -70, -40, 0, 6}));
    EXPECT_EQ(Outputs(), (Whole{-90, -70, -40, 0, 6}));
    const auto reset = PackCompressorCurve(ResetCompressorCurve());
    ASSERT_EQ(sent.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(sent[i], std::make_pair(0x014A - static_cast<int>(i), reset[4 - i]));
    // Reset leaves the colour to the fields it rewrote, as any update does.
    EXPECT_EQ(ModifyColour(), TForm14::PendingColour());
}

TEST_F(CompressorWindow, BadStoredValuesStayOnTheChart) {
    for (std::int32_t raw : {0, 65535, -1, -65536, INT32_MIN, INT32_MAX}) {
        for (int k = 0; k < 5; ++k) store.SetShown(CompressorCurveAddress(1, k), raw);
        Open(1);
        for (int k = 0; k < 5; ++k) {
            const QPointF p = form->Series2->at(k);
            EXPECT_TRUE(p.x() >= -90 && p.x() <= 6 && p.y() >= -113 && p.y() <= 15) << raw;
        }
        EXPECT_FALSE(form->grab().isNull()) << raw;
    }
    // 65535 decodes to (55, 55) dB.
    EXPECT_EQ(Inputs(), (Whole{-90, 6, 6, 6, 6}));
    EXPECT_EQ(Outputs(), (Whole{15, 15, 15, 15, 15}));
    EXPECT_TRUE(sent.empty());
}

// --- Dragging with the mouse --------------------------------------------------------

class CompressorDrag : public CompressorWindow {
protected:
    void SetUp() override {
        StoreCurve(1, ResetCompressorCurve());
        Open(1);
        form->RzButton2->click();
        sent.clear();
        for (int k = 0; k < 5; ++k) ASSERT_TRUE(Viewport()->rect().contains(form->PointPosition(k))) << k;
    }
    QWidget* Viewport() const { return form->Chart1->viewport(); }
    void Drag(int k, QPoint to) {
        QTest::mousePress(Viewport(), Qt::LeftButton, {}, form->PointPosition(k));
        QTest::mouseMove(Viewport(), to);
    }
    void Release(QPoint at) { QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, at); }
};

TEST_F(CompressorDrag, TopLeftCornerSendsNothingUntilModify) {
    Drag(2, QPoint(1, 1));
    EXPECT_TRUE(form->Dragging());
    EXPECT_EQ(std::make_pair(form->Curve().input[2], form->Curve().output[2]), std::make_pair(-90.0f, -54.0f));
    EXPECT_EQ(std::make_pair(form->RzSpinEdit5->value(), form->RzSpinEdit6->value()), std::make_pair(-90, -54));
    EXPECT_EQ(form->Curve().input[1], -90.0f);  // the ordering pass
    EXPECT_EQ(ModifyColour(), TForm14::PendingColour());
    Release(QPoint(1, 1));
    EXPECT_FALSE(form->Dragging() || form->PointClicked());
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(store.Shown(1, 72), EncodeCompressorPoint(-40, -40));

    form->RzButton2->click();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[2], std::make_pair(0x0148, EncodeCompressorPoint(-90, -54)));
}

TEST_F(CompressorDrag, PointFollowsTheMouseWhileFieldsShowWholeDb) {
    const QPoint start = form->PointPosition(3);
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, start);
    for (int step = 1; step <= 3; ++step) {
        const QPoint to = start + QPoint(-7 * step, 9 * step);
        QTest::mouseMove(Viewport(), to);
        EXPECT_LE((form->PointPosition(3) - to).manhattanLength(), 1) << step;
        const QPointF levels = form->LevelsAt(to);
        EXPECT_FLOAT_EQ(form->Curve().input[3], static_cast<float>(levels.x()));
        EXPECT_FLOAT_EQ(form->Curve().output[3], static_cast<float>(levels.y()));
        EXPECT_EQ(form->RzSpinEdit7->value(), WholeDb(form->Curve().input[3]));
        EXPECT_EQ(form->RzSpinEdit8->value(), WholeDb(form->Curve().output[3]));
    }
    EXPECT_NE(form->Curve().input[3], std::round(form->Curve().input[3]));
    Release(start);
    // After the release the mouse moves nothing.
    const CompressorCurve after = form->Curve();
    QTest::mousePress(Viewport(), Qt::RightButton, {}, QPoint(2, 2));
    QTest::mouseMove(Viewport(), QPoint(50, 50));
    QTest::mouseRelease(Viewport(), Qt::RightButton, {}, QPoint(50, 50));
    EXPECT_EQ(form->Curve(), after);
    EXPECT_TRUE(sent.empty());
}

TEST_F(CompressorDrag, EndPointsMoveOnlyUpAndDown) {
    const int column0 = form->PointPosition(0).x(), column4 = form->PointPosition(4).x();
    const QPoint middle = form->PointPosition(2);
    Drag(0, QPoint(middle.x(), form->PointPosition(0).y() - 20));
    Release(middle);
    Drag(4, QPoint(middle.x(), form->PointPosition(4).y() + 30));
    Release(middle);
    EXPECT_EQ(form->Curve().input[0], -90.0f);
    EXPECT_GT(form->Curve().output[0], -90.0f);
    EXPECT_EQ(form->Curve().input[4], 6.0f);
    EXPECT_LT(form->Curve().output[4], 6.0f);
    EXPECT_EQ(form->PointPosition(0).x(), column0);
    EXPECT_EQ(form->PointPosition(4).x(), column4);
    EXPECT_TRUE(sent.empty());
}

TEST_F(CompressorDrag, LinesAndEmptySpace) {
    const CompressorCurve before = form->Curve();
    // Beside every series: no click at all.
    const QPoint corner(3, Viewport()->height() - 3);
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, corner);
    EXPECT_FALSE(form->PointClicked() || form->Dragging());
    Release(corner);
    // On the curve: a click, not a drag; only a drag's release clears it.
    const QPoint onLine = (form->PointPosition(2) + form->PointPosition(3)) / 2;
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, onLine);
    EXPECT_TRUE(form->PointClicked());
    EXPECT_FALSE(form->Dragging());
    EXPECT_TRUE(form->ClickedIndex() == 2 || form->ClickedIndex() == 3);
    QTest::mouseMove(Viewport(), QPoint(5, 5));
    Release(QPoint(5, 5));
    EXPECT_TRUE(form->PointClicked());
    EXPECT_EQ(form->Curve(), before);
}

TEST_F(CompressorDrag, CrosshairAndNumbersOverThePoints) {
    auto hover = [this](QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, Viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(Viewport(), &move);
    };
    hover(form->PointPosition(1));
    EXPECT_EQ(Viewport()->cursor().shape(), Qt::CrossCursor);
    hover(QPoint(3, 3));
    EXPECT_NE(Viewport()->cursor().shape(), Qt::CrossCursor);

    Drag(2, form->PointPosition(2) + QPoint(-10, -10));
    Release(QPoint(1, 1));
    for (int k = 0; k < 5; ++k) {
        QGraphicsSimpleTextItem* mark = form->Series2Marks[static_cast<std::size_t>(k)];
        const QPoint centre = form->Chart1->mapFromScene(mark->mapToScene(mark->boundingRect().center()));
        const QPoint point = form->PointPosition(k);
        EXPECT_NEAR(centre.x(), point.x(), 1) << k;
        EXPECT_TRUE(centre.y() < point.y() && centre.y() > point.y() - 25) << k;
        const QPoint dot = form->Chart1->mapFromScene(form->Series2Dots[static_cast<std::size_t>(k)]->scenePos());
        EXPECT_LE((dot - point).manhattanLength(), 1) << k;  // the whole circle moves with its point
    }
}

// The style caches a button's pictures under its palette's identity: a
// button that goes to and fro between two colours must draw with the same
// two palettes each time, not leave a new set of pictures at every change.
TEST(ColourButtonTest, GoingToAndFroBetweenTwoColoursDrawsWithTwoPalettesAndShowsEach) {
    QuietOffscreen quiet;
    ColourButton button;
    button.resize(99, 40);
    auto paint = [&](const QColor& colour) {
        QPalette palette = button.palette();
        palette.setColor(QPalette::Button, colour);
        button.setPalette(palette);
        return button.grab().toImage().pixelColor(49, 20);
    };
    const QColor green(0, 255, 0), grey(192, 192, 192);
    const QColor greenFace = paint(green), greyFace = paint(grey);
    EXPECT_NE(greenFace, greyFace);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(paint(green), greenFace);
        EXPECT_EQ(paint(grey), greyFace);
    }
    EXPECT_EQ(button.PalettesKept(), 2u);
}

}  // namespace
}  // namespace tr640
