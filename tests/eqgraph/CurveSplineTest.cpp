// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/CurveSpline.h"
#include "model/ValueKinds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace tr640 {
namespace {

GraphScale MainSurface() {
    GraphScale scale;
    scale.SetUp(kGraphWidth, kGraphHeight);
    return scale;
}

PointF Bezier(const PointF& p0, const BezierSegment& s, double u) {
    const double v = 1 - u;
    const double a = v * v * v, b = 3 * v * v * u, c = 3 * v * u * u, d = u * u * u;
    return {a * p0.x + b * s.c1.x + c * s.c2.x + d * s.end.x, a * p0.y + b * s.c1.y + c * s.c2.y + d * s.end.y};
}

PointF ToF(const CurvePoint& p) { return {static_cast<double>(p.x), static_cast<double>(p.y)}; }

// ---------------------------------------------------------------------------
// Curve points.

TEST(CurvePointsTest, OnePointPerGridPointAcrossTheWholeSurface) {
    CombinedResponse flat{};
    auto points = std::make_unique<CurvePoints>();
    MakeCurvePoints(flat, MainSurface(), *points);
    for (int i = 0; i <= 512; ++i) {
        EXPECT_EQ((*points)[i].y, 60) << i;
        EXPECT_EQ((*points)[i].x, Nearest(i * 829 / 512.0)) << i;
    }
    EXPECT_EQ((*points)[0].x, 0);
    EXPECT_EQ((*points)[1].x, 2);      // 1.62
    EXPECT_EQ((*points)[256].x, 414);  // 414.5, to the even neighbour
    EXPECT_EQ((*points)[303].x, 491);  // where 1 kHz draws
    EXPECT_EQ((*points)[512].x, 829);
}

TEST(CurvePointsTest, LevelsToRowsAndNothingUndefinedGetsThrough) {
    CombinedResponse levels{};
    levels[0] = std::numeric_limits<float>::quiet_NaN();
    levels[1] = 12;
    levels[2] = -30;
    levels[3] = std::numeric_limits<float>::infinity();
    levels[4] = -std::numeric_limits<float>::infinity();
    levels[5] = -1e30f;  // far below the surface
    levels[6] = 1e30f;
    levels[7] = -42;     // runs off the bottom, kept as it is
    auto points = std::make_unique<CurvePoints>();
    MakeCurvePoints(levels, MainSurface(), *points);
    EXPECT_EQ((*points)[0].y, 60);  // nothing before it: the 0 dB row
    EXPECT_EQ((*points)[1].y, 0);
    EXPECT_EQ((*points)[2].y, 211);
    EXPECT_EQ((*points)[3].y, 211);  // the previous row
    EXPECT_EQ((*points)[4].y, 211);
    EXPECT_EQ((*points)[5].y, kCurveCoordinateLimit);
    EXPECT_EQ((*points)[6].y, -kCurveCoordinateLimit);
    EXPECT_EQ((*points)[7].y, Nearest((12 + 42) / 42.0 * 211));
}

// ---------------------------------------------------------------------------
// The cardinal spline as Bézier segments.

TEST(CardinalSplineTest, ControlPointsFromTheNeighbours) {
    const std::vector<CurvePoint> p = {{0, 0}, {10, 30}, {20, 0}, {40, 10}};
    std::vector<BezierSegment> s(3);
    ASSERT_EQ(CardinalSplineSegments(p, 0.5, s), 3u);
    const double k = 0.5 / 3;
    // First segment: the start point stands in for its missing neighbour.
    EXPECT_DOUBLE_EQ(s[0].c1.x, 0 + k * (10 - 0));
    EXPECT_DOUBLE_EQ(s[0].c1.y, 0 + k * (30 - 0));
    EXPECT_DOUBLE_EQ(s[0].c2.x, 10 - k * (20 - 0));
    EXPECT_DOUBLE_EQ(s[0].c2.y, 30 - k * (0 - 0));
    EXPECT_EQ(s[0].end, (PointF{10, 30}));
    // Middle segment: c1 = P1 + t/3 (P2 - P0), c2 = P2 - t/3 (P3 - P1).
    EXPECT_DOUBLE_EQ(s[1].c1.x, 10 + k * 20);
    EXPECT_DOUBLE_EQ(s[1].c1.y, 30 + k * 0);
    EXPECT_DOUBLE_EQ(s[1].c2.x, 20 - k * 30);
    EXPECT_DOUBLE_EQ(s[1].c2.y, 0 - k * (10 - 30));
    // Last segment: the end point stands in for the neighbour after it.
    EXPECT_DOUBLE_EQ(s[2].c1.x, 20 + k * (40 - 10));
    EXPECT_DOUBLE_EQ(s[2].c2.x, 40 - k * (40 - 20));
    EXPECT_DOUBLE_EQ(s[2].c2.y, 10 - k * (10 - 0));
    EXPECT_EQ(s[2].end, (PointF{40, 10}));
}

TEST(CardinalSplineTest, TensionHalfIsCatmullRomAndZeroIsStraight) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> coordinate(-300, 300);
    std::vector<CurvePoint> p(40);
    for (auto& point : p) point = {coordinate(random), coordinate(random)};
    std::vector<BezierSegment> s(p.size() - 1);
    ASSERT_EQ(CardinalSplineSegments(p, 0.5, s), p.size() - 1);
    for (std::size_t i = 1; i + 2 < p.size(); ++i) {
        // The Catmull-Rom polynomial through P(i-1) .. P(i+2).
        const PointF a = ToF(p[i - 1]), b = ToF(p[i]), c = ToF(p[i + 1]), d = ToF(p[i + 2]);
        for (const double u : {0.0, 0.25, 0.5, 0.8, 1.0}) {
            auto cr = [u](double p0, double p1, double p2, double p3) {
                return 0.5 * (2 * p1 + (p2 - p0) * u + (2 * p0 - 5 * p1 + 4 * p2 - p3) * u * u +
                              (-p0 + 3 * p1 - 3 * p2 + p3) * u * u * u);
            };
            const PointF at = Bezier(b, s[i], u);
            EXPECT_NEAR(at.x, cr(a.x, b.x, c.x, d.x), 1e-9);
            EXPECT_NEAR(at.y, cr(a.y, b.y, c.y, d.y), 1e-9);
        }
    }
    // Smooth through every inner point: the two control points beside it
    // are mirror images about it.
    for (std::size_t i = 0; i + 1 < s.size(); ++i) {
        const PointF joint = s[i].end;
        EXPECT_NEAR(joint.x - s[i].c2.x, s[i + 1].c1.x - joint.x, 1e-9);
        EXPECT_NEAR(joint.y - s[i].c2.y, s[i + 1].c1.y - joint.y, 1e-9);
    }

    ASSERT_EQ(CardinalSplineSegments(p, 0.0, s), p.size() - 1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        EXPECT_EQ(s[i].c1, ToF(p[i]));
        EXPECT_EQ(s[i].c2, ToF(p[i + 1]));
    }
}

TEST(CardinalSplineTest, EvenSpacingOnALineAndShortInputs) {
    std::vector<BezierSegment> s(4);
    // Evenly spaced points on a line: the line, at even speed inside.
    const std::vector<CurvePoint> line = {{0, 60}, {3, 60}, {6, 60}, {9, 60}};
    CardinalSplineSegments(line, 0.5, s);
    EXPECT_EQ(s[0].c1, (PointF{0.5, 60}));
    EXPECT_EQ(s[0].c2, (PointF{2, 60}));
    EXPECT_EQ(s[1].c1, (PointF{4, 60}));
    EXPECT_EQ(s[1].c2, (PointF{5, 60}));

    EXPECT_EQ(CardinalSplineSegments(std::vector<CurvePoint>{}, 0.5, s), 0u);
    EXPECT_EQ(CardinalSplineSegments(std::vector<CurvePoint>{{1, 1}}, 0.5, s), 0u);
    const std::vector<CurvePoint> two = {{0, 0}, {6, 12}};
    ASSERT_EQ(CardinalSplineSegments(two, 0.5, s), 1u);
    EXPECT_EQ(s[0].c1, (PointF{1, 2}));
    EXPECT_EQ(s[0].c2, (PointF{5, 10}));
    // Room for fewer segments than the points make: only those are written.
    const std::vector<CurvePoint> many(10, CurvePoint{});
    EXPECT_EQ(CardinalSplineSegments(many, 0.5, std::span<BezierSegment>(s.data(), 2)), 2u);
}

}  // namespace
}  // namespace tr640
