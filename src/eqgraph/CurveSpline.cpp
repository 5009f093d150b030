// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/CurveSpline.h"

#include "model/ValueKinds.h"

#include <algorithm>
#include <cmath>

namespace tr640 {

namespace {

int Bounded(int pixel) { return std::clamp(pixel, -kCurveCoordinateLimit, kCurveCoordinateLimit); }

}  // namespace

void MakeCurvePoints(const CombinedResponse& levels, const GraphScale& scale, CurvePoints& out) {
    const double width = scale.Width();
    int row = Bounded(Nearest(scale.Y(0.0)));
    for (int i = 0; i < FrequencyGrid::kPoints; ++i) {
        const float level = levels[static_cast<std::size_t>(i)];
        if (std::isfinite(level)) row = Bounded(Nearest(scale.Y(level)));
        out[static_cast<std::size_t>(i)] = {Nearest(i * width / kScaleSteps), row};
    }
}

std::size_t CardinalSplineSegments(std::span<const CurvePoint> points, double tension,
                                   std::span<BezierSegment> out) {
    if (points.size() < 2) return 0;
    const std::size_t segments = std::min(points.size() - 1, out.size());
    const double k = tension / 3.0;
    const std::size_t last = points.size() - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const CurvePoint& before = points[i == 0 ? 0 : i - 1];
        const CurvePoint& from = points[i];
        const CurvePoint& to = points[i + 1];
        const CurvePoint& after = points[std::min(i + 2, last)];
        out[i].c1 = {from.x + k * (to.x - before.x), from.y + k * (to.y - before.y)};
        out[i].c2 = {to.x - k * (after.x - from.x), to.y - k * (after.y - from.y)};
        out[i].end = {static_cast<double>(to.x), static_cast<double>(to.y)};
    }
    return segments;
}

}  // namespace tr640
