// SPDX-License-Identifier: GPL-3.0-or-later
// The graph on a high-density screen: Qt scaling at 2, as most new laptops
// run it. The bitmap holds two device pixels to every logical one; the
// geometry, the labels and the handles stay where they are at ratio 1.

#include "eqgraph/GraphFixture.h"
#include "model/ValueKinds.h"

#include <QPixmap>

namespace tr640::testing {
namespace {

constexpr QRgb kGround = 0x151515;
constexpr QRgb kBright = 0x505050;
constexpr QRgb kMiddle = 0x404040;
constexpr QRgb kOrange = 0xFF6600;

using GraphAtRatioTwo = GraphFixture;

TEST_F(GraphAtRatioTwo, BitmapHasTheScreensRatioAndTheLogicalGeometryOfRatioOne) {
    ASSERT_EQ(w().Image1->devicePixelRatioF(), 2.0);
    EXPECT_EQ(Bitmap().devicePixelRatio(), 2.0);
    EXPECT_EQ(Bitmap().size(), QSize(2 * 829, 2 * 212));
    EXPECT_EQ(graph().Scale().Width(), 829);
    EXPECT_EQ(graph().Scale().Height(), 212);
    QLabel* zero = Label("EQLabelY5");
    EXPECT_EQ(zero->y(), 60 + 20 - zero->height() / 2);
    EXPECT_EQ(zero->x() + zero->width(), 40 - 2);
    EXPECT_EQ(Handle(0)->pos(), QPoint(Nearest(graph().Scale().X(30) - 7), 53));
    EXPECT_EQ(Handle(0)->Bitmap().devicePixelRatio(), 2.0);  // the handles are as sharp
}

TEST_F(GraphAtRatioTwo, GridAndCurveAreDrawnInDevicePixels) {
    // One logical pixel is two device rows; its neighbours stay ground
    // (column 6 is logical column 3, clear of every vertical line).
    EXPECT_EQ(Pixel(6, 0), kBright);  // +12 dB
    EXPECT_EQ(Pixel(6, 1), kBright);
    EXPECT_EQ(Pixel(6, 2), kGround);
    EXPECT_EQ(Pixel(6, 391), kGround);  // -27 dB on logical row 196
    EXPECT_EQ(Pixel(6, 392), kMiddle);
    EXPECT_EQ(Pixel(6, 393), kMiddle);
    EXPECT_EQ(Pixel(6, 394), kGround);
    // The flat curve on logical row 60: the 1.8-pixel pen covers device rows
    // 120 and 121 and shades 119 and 122; a stretched ratio-1 picture would
    // repeat its soft edge on 118 and 123.
    const QImage shown = w().Image1->grab().toImage();
    ASSERT_EQ(shown.size(), Bitmap().size());
    for (int x = 4; x < 1650; x += 7) {
        ASSERT_EQ(shown.pixel(x, 120) & 0xFFFFFFu, kOrange) << x;
        ASSERT_EQ(shown.pixel(x, 121) & 0xFFFFFFu, kOrange) << x;
        ASSERT_LT(qRed(shown.pixel(x, 118)), 80) << x;
        ASSERT_LT(qRed(shown.pixel(x, 123)), 80) << x;
    }
}

}  // namespace
}  // namespace tr640::testing

int main(int argc, char** argv) {
    // Set before Qt starts: the scaling applies to every screen from then on.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
