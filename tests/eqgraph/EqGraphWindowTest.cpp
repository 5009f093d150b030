// SPDX-License-Identifier: GPL-3.0-or-later
// The graph inside the main window: the painted bitmap, the axis labels, the
// handles, the readout and when the refresh timer redraws.

#include "eqgraph/EqRender.h"
#include "model/ValueKinds.h"

#include "eqgraph/GraphFixture.h"

#include <QFontMetrics>
#include <QImage>
#include <QTabBar>

#include <vector>

namespace tr640::testing {
namespace {

constexpr QRgb kGround = 0x151515;  // 21, 21, 21
constexpr QRgb kBright = 0x505050;  // 80
constexpr QRgb kMiddle = 0x404040;  // 64
constexpr QRgb kDark = 0x171717;    // 23
constexpr QRgb kOrange = 0xFF6600;  // 255, 102, 0

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }

bool IsOrangeish(QRgb c) { return qRed(c) > 200 && qGreen(c) > 70 && qGreen(c) < 120 && qBlue(c) < 40; }

// ---------------------------------------------------------------------------
// Painting on a bare bitmap.

TEST(EqRenderTest, GroundAndGridOnExactRowsAndColumns) {
    QImage image(829, 212, QImage::Format_RGB32);
    image.fill(Qt::black);
    GraphScale scale;
    scale.SetUp(829, 212);
    PaintGround(image, MakeGridLines(scale));

    EXPECT_EQ(At(image, 3, 3), kGround);
    EXPECT_EQ(At(image, 828, 103), kGround);
    // Rows, at a column without a grid line: 0 dB, the borders, -27, -9, -29, -1.
    EXPECT_EQ(At(image, 3, 60), kBright);
    EXPECT_EQ(At(image, 3, 0), kBright);
    EXPECT_EQ(At(image, 3, 211), kBright);
    EXPECT_EQ(At(image, 3, 196), kMiddle);
    EXPECT_EQ(At(image, 3, 106), kMiddle);  // -9 dB on 105.5, the even row
    EXPECT_EQ(At(image, 3, 105), kGround);
    EXPECT_EQ(At(image, 3, 206), kDark);
    EXPECT_EQ(At(image, 3, 65), kDark);
    EXPECT_EQ(At(image, 828, 65), kDark);  // a row reaches the last column
    // Columns, at a row without a grid line.
    EXPECT_EQ(At(image, 0, 2), kBright);
    EXPECT_EQ(At(image, 245, 2), kBright);
    EXPECT_EQ(At(image, 491, 2), kBright);
    EXPECT_EQ(At(image, 490, 2), kGround);
    EXPECT_EQ(At(image, 492, 2), kGround);
    EXPECT_EQ(At(image, 736, 2), kBright);
    EXPECT_EQ(At(image, 74, 2), kMiddle);   // 20 Hz
    EXPECT_EQ(At(image, 810, 2), kMiddle);  // 20 kHz
    EXPECT_EQ(At(image, Nearest(scale.X(3000)), 150), kMiddle);
    // Columns cross the rows; the borders cross the columns.
    EXPECT_EQ(At(image, 245, 106), kBright);
    EXPECT_EQ(At(image, 74, 106), kMiddle);
    EXPECT_EQ(At(image, 74, 211), kBright);
    EXPECT_EQ(At(image, 74, 0), kBright);
    EXPECT_EQ(At(image, 74, 210), kMiddle);
}

// ---------------------------------------------------------------------------
// Set-up in the main window.

using GraphWindowTest = GraphFixture;

TEST_F(GraphWindowTest, AxisLabelsAroundTheSurface) {
    EXPECT_EQ(graph().Scale().PixelsPerStep(), 829.0 / 512.0);
    const QFont font = w().EQAdvPanel->font();
    const auto& axes = AxisLabels();
    for (int i = 0; i < kAxisLabelCount; ++i) {
        const QString name = QString::fromLatin1(axes[i].name.data(), static_cast<qsizetype>(axes[i].name.size()));
        QLabel* label = w().EQAdvPanel->findChild<QLabel*>(name, Qt::FindDirectChildrenOnly);
        ASSERT_NE(label, nullptr) << name.toStdString();
        EXPECT_EQ(label, graph().AxisLabel(i));
        EXPECT_EQ(label->text().toStdString(), axes[i].text);
        EXPECT_TRUE(label->font().bold());
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 255, 255));
        EXPECT_FALSE(label->autoFillBackground());
        EXPECT_TRUE(label->isVisible());
        // Sized to the text.
        const QFontMetrics metrics(label->font());
        EXPECT_EQ(label->height(), metrics.height());
        EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text()));
        const Place at = AxisLabelPlace(graph().Scale(), axes[i], label->width(), label->height(), 40, 20);
        EXPECT_EQ(label->pos(), QPoint(at.left, at.top)) << name.toStdString();
    }
    QLabel* zero = Label("EQLabelY5");
    EXPECT_EQ(zero->text(), QStringLiteral("0dB"));
    EXPECT_EQ(zero->y(), 60 + 20 - zero->height() / 2);
    EXPECT_EQ(zero->x() + zero->width(), 40 - 2);
    QLabel* kilo = Label("EQLabelX16");
    EXPECT_EQ(kilo->text(), QStringLiteral("1KHz"));
    EXPECT_EQ(kilo->x(), 491 + 40 - kilo->width() / 2);
    EXPECT_EQ(kilo->y(), 20 + 212);
    // The panel's 11-pixel font: the labels are 13 pixels high.
    EXPECT_EQ(zero->height(), 13);

    // Later set-ups move the same labels and make no new ones.
    graph().SetUpGraph(true);
    w().DrawEq(TForm1::kNoBand, 0);
    EXPECT_EQ(w().EQAdvPanel->findChildren<QLabel*>(QStringLiteral("EQLabelY5")).size(), 1);
    EXPECT_EQ(Label("EQLabelY5"), zero);
}

// ---------------------------------------------------------------------------
// The curve.

TEST_F(GraphWindowTest, FiveFlatBandsDrawTheCurveOnRow60) {
    // The start-up defaults: five parametric bands at 0 dB.
    for (const auto& p : graph().Points()) ASSERT_EQ(p.y, 60);
    for (int x = 1; x < 828; ++x) {
        ASSERT_EQ(Pixel(x, 60), kOrange) << x;
        // The 1.8-pixel pen shades 0.4 of a pixel on each side, nothing beyond.
        ASSERT_GT(qRed(Pixel(x, 59)), 80) << x;
        ASSERT_LT(qRed(Pixel(x, 59)), 160) << x;
        ASSERT_GT(qRed(Pixel(x, 61)), 80) << x;
        ASSERT_NE(Pixel(x, 58), kOrange) << x;
        ASSERT_FALSE(IsOrangeish(Pixel(x, 62))) << x;
    }
    EXPECT_EQ(Pixel(3, 57), kGround);
    EXPECT_EQ(Pixel(3, 63), kGround);
}

TEST_F(GraphWindowTest, TwelveDecibelPeakAt1kHzReachesTheTopRow) {
    SetBand(0, 0, kFilterParametric, 1000, 210, 49);
    Refresh();
    EXPECT_EQ(graph().Points()[303], (CurvePoint{491, 0}));
    int best = -1;
    for (int x = 485; x <= 497; ++x)
        if (IsOrangeish(Pixel(x, 0))) best = x;
    EXPECT_NE(best, -1);
    EXPECT_TRUE(IsOrangeish(Pixel(491, 0)));
    EXPECT_GT(qRed(Pixel(491, 1)), 100);  // the pen's lower edge
    // Far from the peak the curve is back on the 0 dB row.
    EXPECT_EQ(Pixel(100, 60), kOrange);
    EXPECT_EQ(Pixel(100, 0), kBright);
    // Nothing orange above the curve away from the peak.
    for (int x = 0; x < 300; ++x) ASSERT_FALSE(IsOrangeish(Pixel(x, 10))) << x;
}

TEST_F(GraphWindowTest, CutRunsBelowAndShelfAndHighPassShapeTheCurve) {
    SetBand(0, 0, kFilterHighPass, 100, 150, 19);
    SetBand(0, 1, kFilterParametric, 1000, 60, 49);  // -18 dB
    SetBand(0, 4, kFilterHighShelf, 8000, 180, 25);  // +6 dB
    Refresh();
    const CurvePoints& p = graph().Points();
    EXPECT_EQ(p[303].y, Nearest(graph().Scale().Y(graph().Response().combined[303])));
    EXPECT_GT(p[303].y, 60 + 50);  // the cut
    EXPECT_GT(p[0].y, 211);        // the high pass runs off the bottom at 10 Hz
    EXPECT_LT(p[512].y, 60 - 20);  // the shelf lifts the top end
    EXPECT_TRUE(IsOrangeish(Pixel(p[303].x, p[303].y)));
    // Where the curve runs off the bottom, nothing is drawn at the top.
    EXPECT_EQ(Pixel(3, 3), kGround);
}

TEST_F(GraphWindowTest, NothingUndefinedReachesThePixels) {
    // Absurd values in the shown image, as only a device or a preset file
    // could leave them (a refresh would tidy most of them up first).
    const int bands[5][5] = {{203, 2000000000, 100000, -7, -7},
                             {kFilterLowShelf, -40, -5000, 400, 400},
                             {kFilterParametric, 0, 210, 1000, 1000},
                             {kFilterLowPass, 30000, 0, 109, 109},
                             {255, 1, 0, 0, 0}};
    for (int b = 0; b < 5; ++b)
        for (int slot = 0; slot < 5; ++slot) store().SetShown(BandAddress(0, b, slot), bands[b][slot]);
    w().DrawEq(2, 0);
    for (const auto& p : graph().Points()) {
        ASSERT_LE(std::abs(p.y), kCurveCoordinateLimit);
        ASSERT_GE(p.x, 0);
    }
    for (int i = 1; i < 4; ++i) {
        EXPECT_LT(std::abs(Handle(i)->x()), 5000) << i;
        EXPECT_LT(std::abs(Handle(i)->y()), 50000) << i;
    }
    // A stored 0 Hz reads as 20 Hz; an index past the table designs and
    // reads as the table's last Q.
    EXPECT_EQ(w().EQlabel->text(), QStringLiteral("12.0dB\nQ:128.00\n20.00Hz"));
    EXPECT_EQ(graph().Response().bands[2].band.q, 128.0f);

    // The Q field shows the same end of the table after a refresh.
    SetBand(0, 2, kFilterParametric, 1000, 150, 1000);
    Refresh();
    EXPECT_EQ(w().Band(0, 2).qEdit->text(), QStringLiteral("128.00"));
    SetBand(0, 2, kFilterParametric, 1000, 150, -3);
    Refresh();
    EXPECT_EQ(w().Band(0, 2).qEdit->text(), QStringLiteral("0.1"));
}

// ---------------------------------------------------------------------------
// Handles and readout.

TEST_F(GraphWindowTest, HandlesSitOnTheirBands) {
    const double defaults[] = {30, 66, 229, 976, 4393};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Handle(i)->pos(), QPoint(Nearest(graph().Scale().X(defaults[i]) - 7), 53)) << i;
        EXPECT_TRUE(Handle(i)->isVisible()) << i;
    }
    for (int i = 5; i < TForm1::kHandleCount; ++i) EXPECT_FALSE(Handle(i)->isVisible()) << i;

    SetBand(0, 0, kFilterParametric, 1000, 180, 49);       // +6 dB
    SetBand(0, 1, kFilterHighPass, 80, 195, 19);           // +9 dB, drawn on 0 dB
    SetBand(0, 2, kFilterParametric + 10, 500, 195, 49);   // bypassed, +9 dB
    SetBand(0, 3, 150, 2000, 195, 19);                     // a fixed variant: no handle
    const QPoint before = Handle(3)->pos();
    Refresh();
    EXPECT_EQ(Handle(0)->pos(), QPoint(484, 23));
    EXPECT_EQ(Handle(1)->pos(), QPoint(Nearest(graph().Scale().X(80) - 7), 53));
    EXPECT_EQ(Handle(2)->pos(), QPoint(Nearest(graph().Scale().X(500) - 7), Nearest(graph().Scale().Y(9) - 7)));
    EXPECT_EQ(Handle(3)->pos(), before);
    // The bypassed band draws flat.
    for (const float level : graph().Response().bands[2].response) ASSERT_EQ(level, 0.0f);
}

TEST_F(GraphWindowTest, ReadoutHangsUnderABoostAndStandsOverACut) {
    SetBand(0, 0, kFilterParametric, 1000, 180, 49);  // +6 dB, Q 4.00
    Refresh();
    QLabel* readout = w().EQlabel;
    const QString initial = readout->text();
    EXPECT_EQ(initial, QStringLiteral("+12dB\nQ:128.00\n12000.00Hz"));  // until the first readout
    w().DrawEq(0, 0);
    EXPECT_EQ(readout->text(), QStringLiteral("6.0dB\nQ:4.00\n1000.00Hz"));
    EXPECT_EQ(readout->size(), readout->sizeHint());
    EXPECT_EQ(readout->x(), 484 + 7 - readout->width() / 2);
    EXPECT_EQ(readout->y(), 23 + 14);
    EXPECT_EQ(readout->parentWidget(), w().AdvPanel2);

    SetBand(0, 0, kFilterParametric, 1000, 120, 49);  // -6 dB
    Refresh();
    w().DrawEq(0, 0);
    EXPECT_EQ(readout->text(), QStringLiteral("-6.0dB\nQ:4.00\n1000.00Hz"));
    EXPECT_EQ(readout->y() + readout->height(), Handle(0)->y() - 1);

    // A redraw without a readout leaves it where and as it was.
    const QRect where = readout->geometry();
    SetBand(0, 0, kFilterParametric, 5000, 150, 49);
    Refresh();
    EXPECT_EQ(readout->text(), QStringLiteral("-6.0dB\nQ:4.00\n1000.00Hz"));
    EXPECT_EQ(readout->geometry(), where);
}

TEST_F(GraphWindowTest, HighPassReadoutIsItsFrequencyOverlappingTheHandle) {
    SetBand(0, 1, kFilterHighPass, 80, 195, 19);  // +9 dB
    SetBand(0, 2, kFilterParametric, 1000, 195, 49);
    Refresh();
    w().DrawEq(1, 0);
    QLabel* readout = w().EQlabel;
    EXPECT_EQ(readout->text(), QStringLiteral("80.00Hz"));
    EXPECT_EQ(readout->y(), 53 + 14 - 5);
    EXPECT_EQ(readout->x(), Handle(1)->x() + 7 - readout->width() / 2);
    // The other bands' handles stay at their own gains.
    EXPECT_EQ(Handle(2)->y(), Nearest(graph().Scale().Y(9) - 7));
}

TEST_F(GraphWindowTest, OuterTabsCoverNoAxisLabelHandleOrReadout) {
    SetBand(0, 0, kFilterParametric, 30, 210, 49);  // +12 dB far left: handle and readout at the top corner
    Refresh();
    w().DrawEq(0, 0);
    std::vector<const QWidget*> mustShow{w().EQlabel};
    for (int i = 0; i < kAxisLabelCount; ++i) mustShow.push_back(graph().AxisLabel(i));
    for (int i = 0; i < 5; ++i) mustShow.push_back(Handle(i));
    // What shows of a handle or the readout is what their panel leaves.
    auto shown = [this](const QWidget* widget) {
        const QRect rect(widget->mapTo(&w(), QPoint(0, 0)), widget->size());
        if (widget->parentWidget() != w().AdvPanel2) return rect;
        return rect & QRect(w().AdvPanel2->mapTo(&w(), QPoint(0, 0)), w().AdvPanel2->size());
    };
    const QTabBar* tabs = w().AdvPageControl1->tabBar();
    for (int t = 0; t < tabs->count(); ++t) {
        const QRect tab(tabs->mapTo(&w(), tabs->tabRect(t).topLeft()), tabs->tabRect(t).size());
        for (const QWidget* widget : mustShow)
            EXPECT_FALSE(tab.intersects(shown(widget))) << t << " " << widget->objectName().toStdString();
    }
}

TEST_F(GraphWindowTest, DrawsNothingWhileRefreshingOrForAThirdMicrophone) {
    w().Image1->Bitmap().fill(Qt::black);
    state().refreshInProgress = true;
    graph().DrawEq(0, 0);
    state().refreshInProgress = false;
    graph().DrawEq(0, 2);
    graph().DrawEq(0, -1);
    EXPECT_EQ(Pixel(3, 3), 0u);
    graph().DrawEq(TForm1::kNoBand, 1);
    EXPECT_EQ(Pixel(3, 3), kGround);
}

// ---------------------------------------------------------------------------
// When the refresh timer redraws.

class RedrawTest : public GraphFixture {
protected:
    // Blacks the bitmap out; a redraw paints it again.
    void Blank() { w().Image1->Bitmap().fill(Qt::black); }
    bool Redrawn() { return Pixel(3, 3) == kGround; }
};

TEST_F(RedrawTest, OnceForEachNewBandChangeWithThatBandsReadout) {
    Tick();  // whatever start-up left
    Blank();
    Tick();
    EXPECT_FALSE(Redrawn());

    w().ApplyValue(w().Mic1GainEdit2, Step::None, Source::User, 180);
    Tick();
    EXPECT_TRUE(Redrawn());
    EXPECT_EQ(w().EQlabel->text(), QStringLiteral("6.0dB\nQ:4.00\n66.00Hz"));
    EXPECT_EQ(Handle(1)->y(), 23);

    // The same change again: drawn already.
    Blank();
    w().ApplyValue(w().Mic1GainEdit2, Step::None, Source::User, 180);
    Tick();
    EXPECT_FALSE(Redrawn());

    // A change that is not an EQ band's.
    state().lastChange = {kAddrMasterVolume, 7};
    Tick();
    EXPECT_FALSE(Redrawn());
    EXPECT_EQ(state().lastDrawn, (CurveChange{kAddrMasterVolume, 7}));
}

TEST_F(RedrawTest, MicrophoneTwosFirstBandResolvesToBandZeroOfTheShownPage) {
    Tick();
    Blank();
    state().lastChange = {BandAddress(1, 0, kSlotType), 0};
    Tick();
    EXPECT_TRUE(Redrawn());
    EXPECT_EQ(w().EQlabel->text(), QStringLiteral("0.0dB\nQ:4.00\n30.00Hz"));
}

TEST_F(RedrawTest, RefreshAllDrawsOnceWithoutAReadout) {
    Tick();
    w().EQlabel->setText(QStringLiteral("marker"));
    Blank();
    Refresh();
    EXPECT_TRUE(Redrawn());
    EXPECT_EQ(w().EQlabel->text(), QStringLiteral("marker"));
    Blank();
    Tick();
    EXPECT_FALSE(Redrawn());
}

TEST_F(RedrawTest, ShowingMicrophoneTwoRedrawsItsCurve) {
    SetBand(1, 0, kFilterParametric, 1000, 210, 49);
    Refresh();
    EXPECT_EQ(graph().Points()[303].y, 60);  // microphone 1 is shown
    Tick();
    w().AdvPageControl2->setCurrentIndex(1);
    Tick();
    EXPECT_EQ(graph().Points()[303].y, 0);
    EXPECT_EQ(w().EQlabel->text(), QStringLiteral("12.0dB\nQ:4.00\n1000.00Hz"));
}

}  // namespace
}  // namespace tr640::testing
