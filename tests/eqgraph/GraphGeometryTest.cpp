// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/GraphGeometry.h"
#include "model/ValueKinds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tr640 {
namespace {

GraphScale MainSurface() {
    GraphScale scale;
    scale.SetUp(kGraphWidth, kGraphHeight);
    return scale;
}

// ---------------------------------------------------------------------------
// Conversions on the main window's 829 x 212 surface.

TEST(GraphScaleTest, StartsAtOnePixelPerStepUntilSetUp) {
    GraphScale scale;
    EXPECT_EQ(scale.PixelsPerStep(), 1.0);
    EXPECT_NEAR(scale.X(24000), 512.0, 1e-9);
    scale.SetUp(829, 212);
    EXPECT_EQ(scale.PixelsPerStep(), 829.0 / 512.0);
    EXPECT_EQ(scale.Width(), 829);
    EXPECT_EQ(scale.Height(), 212);
}

TEST(GraphScaleTest, FrequencyAcrossOnALogScale) {
    const GraphScale s = MainSurface();
    EXPECT_NEAR(s.X(10), 0.0, 1e-9);
    EXPECT_NEAR(s.X(24000), 829.0, 1e-9);
    EXPECT_NEAR(s.X(1000), 490.5, 0.01);
    EXPECT_EQ(Nearest(s.X(1000)), 491);
    EXPECT_NEAR(s.X(100), 245.25, 0.01);
    EXPECT_EQ(Nearest(s.X(100)), 245);
    EXPECT_NEAR(s.X(20000), 809.6, 0.05);
    EXPECT_EQ(Nearest(s.X(20000)), 810);
    EXPECT_NEAR(s.Frequency(0), 10.0, 1e-9);
    EXPECT_NEAR(s.Frequency(829), 24000.0, 1e-6);
    for (const double hertz : {20.0, 77.7, 1000.0, 12345.0}) EXPECT_NEAR(s.Frequency(s.X(hertz)), hertz, 1e-9 * hertz);
    // No frequency gives a pixel that is not a number.
    EXPECT_EQ(s.X(0), s.X(1));
    EXPECT_EQ(s.X(-50), s.X(1));
    EXPECT_TRUE(std::isfinite(s.X(-50)));
}

TEST(GraphScaleTest, LevelDownFromTwelveToMinusThirty) {
    const GraphScale s = MainSurface();
    EXPECT_EQ(s.Y(12), 0.0);
    EXPECT_NEAR(s.Y(0), 60.2857, 1e-4);
    EXPECT_EQ(Nearest(s.Y(0)), 60);
    EXPECT_NEAR(s.Y(-30), 211.0, 1e-12);
    EXPECT_EQ(s.Level(0), 12.0);
    EXPECT_NEAR(s.Level(211), -30.0, 1e-12);
    EXPECT_NEAR(s.Level(s.Y(-7.3)), -7.3, 1e-12);
    // -9 dB falls exactly between two rows and goes to the even one.
    EXPECT_EQ(s.Y(-9), 105.5);
    EXPECT_EQ(Nearest(s.Y(-9)), 106);
    // A one-row surface converts without dividing by zero.
    GraphScale flat;
    flat.SetUp(829, 1);
    EXPECT_TRUE(std::isfinite(flat.Level(0.5)));
}

// ---------------------------------------------------------------------------
// The grid: the order matters, as later lines paint over earlier ones.

TEST(GridLinesTest, RowsThenDecadesThenMinorColumnsThenBordersInThreeGreys) {
    const GraphScale s = MainSurface();
    const GridLines lines = MakeGridLines(s);
    for (int i = 0; i < 43; ++i) {
        EXPECT_TRUE(lines[i].horizontal);
        EXPECT_EQ(lines[i].at, Nearest(s.Y(-30 + i)));
        EXPECT_EQ(lines[i].colour, LevelRowColour(-30 + i));
    }
    const int columns[] = {0, 245, 491, 736, 74};  // the decades, then 20 Hz
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(lines[43 + i].horizontal);
        EXPECT_EQ(lines[43 + i].at, columns[i]);
        EXPECT_EQ(lines[43 + i].colour, i < 4 ? kGridBright : kGridMiddle);
    }
    EXPECT_EQ(lines[71].at, 810);  // 20 kHz, the last minor column
    EXPECT_EQ(lines[71].colour, kGridMiddle);
    EXPECT_TRUE(lines[72].horizontal && lines[73].horizontal);
    EXPECT_EQ(lines[72].at, 0);
    EXPECT_EQ(lines[73].at, 211);

    for (const int level : {-30, 0, 12}) EXPECT_EQ(LevelRowColour(level), (Rgb{80, 80, 80}));
    for (const int level : {-27, -9, -3, 3, 9}) EXPECT_EQ(LevelRowColour(level), (Rgb{64, 64, 64}));
    for (const int level : {-29, -1, 1, 11}) EXPECT_EQ(LevelRowColour(level), (Rgb{23, 23, 23}));
}

// ---------------------------------------------------------------------------
// Axis labels.

TEST(AxisLabelsTest, NamesAndTexts) {
    const auto& labels = AxisLabels();
    const char* const levelTexts[] = {"-30dB", "-24dB", "-18dB", "-12dB", "-6dB", "0dB", "6dB", "12dB"};
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(labels[n].name, "EQLabelY" + std::to_string(n));
        EXPECT_EQ(labels[n].text, levelTexts[n]);
        EXPECT_TRUE(labels[n].level);
        EXPECT_EQ(labels[n].value, -30 + 6 * n);
    }
    const char* const hertzTexts[] = {"20Hz", "50Hz", "100Hz", "200Hz", "500Hz",
                                      "1KHz", "2KHz", "5KHz",  "10KHz", "20KHz"};
    const double hertz[] = {20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(labels[8 + n].name, "EQLabelX" + std::to_string(11 + n));
        EXPECT_EQ(labels[8 + n].text, hertzTexts[n]);
        EXPECT_FALSE(labels[8 + n].level);
        EXPECT_EQ(labels[8 + n].value, hertz[n]);
    }
}

TEST(AxisLabelsTest, CentredOnTheirLinesAroundTheSurface) {
    const GraphScale s = MainSurface();
    const auto& labels = AxisLabels();
    // "0dB", 13 pixels high: top 60 + 20 - 6, right edge 2 pixels short of the surface.
    EXPECT_EQ(AxisLabelPlace(s, labels[5], 21, 13, 40, 20), (Place{40 - 21 - 2, 74}));
    // "12dB" on row 0, "-30dB" on row 211.
    EXPECT_EQ(AxisLabelPlace(s, labels[7], 25, 13, 40, 20).top, 20 - 6);
    EXPECT_EQ(AxisLabelPlace(s, labels[0], 33, 13, 40, 20).top, 211 + 20 - 6);
    // "1KHz" centred on column 491, just under the surface.
    EXPECT_EQ(AxisLabelPlace(s, labels[13], 27, 13, 40, 20), (Place{491 + 40 - 13, 20 + 212}));
    EXPECT_EQ(AxisLabelPlace(s, labels[17], 36, 13, 40, 20), (Place{810 + 40 - 18, 232}));
}

}  // namespace
}  // namespace tr640
