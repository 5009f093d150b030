// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eqgraph/FrequencyResponse.h"
#include "eqgraph/GraphGeometry.h"

#include <array>
#include <cstddef>
#include <span>

namespace tr640 {

// ---------------------------------------------------------------------------
// The curve through the combined response: one integer point per grid point,
// joined by a cardinal spline that the drawing hands to the painter as cubic
// Bézier segments.

struct CurvePoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const CurvePoint&, const CurvePoint&) = default;
};

using CurvePoints = std::array<CurvePoint, FrequencyGrid::kPoints>;

// The farthest a point is let off the surface. Even five bands at the most
// extreme levels a float section can give stay far inside this; it only
// keeps the painter's fixed-point arithmetic safe whatever comes in.
inline constexpr int kCurveCoordinateLimit = 30000;

// Point i = (i * W / 512, y(level)), both rounded half to even. A level that
// is not a finite number takes the previous point's row (row y(0 dB) for
// the first), so nothing undefined ever reaches the painter.
void MakeCurvePoints(const CombinedResponse& levels, const GraphScale& scale, CurvePoints& out);

struct PointF {
    double x = 0;
    double y = 0;
    friend bool operator==(const PointF&, const PointF&) = default;
};

// One cubic Bézier segment; it starts where the previous one ended.
struct BezierSegment {
    PointF c1;
    PointF c2;
    PointF end;
};

inline constexpr double kCurveTension = 0.5;

// A cardinal spline of tension t through P0 .. Pn as n cubic segments.
// The spline's tangent at Pi is t * (Pi+1 - Pi-1); at the two ends, where a
// neighbour is missing, the end point stands in for it, so the tangent is
// t * (P1 - P0) and t * (Pn - Pn-1). A Hermite segment with end tangents
// T0, T1 is the Bézier curve with control points P0 + T0/3 and P1 - T1/3,
// so segment i (Pi -> Pi+1) has
//   c1 = Pi   + t/3 * (Pi+1 - Pi-1)
//   c2 = Pi+1 - t/3 * (Pi+2 - Pi)
// with P-1 = P0 and Pn+1 = Pn. Tension 0 gives straight lines; 0.5 is the
// Catmull-Rom spline. `out` needs points.size() - 1 entries; fewer than two
// points give no segment. Returns the number of segments written.
std::size_t CardinalSplineSegments(std::span<const CurvePoint> points, double tension,
                                   std::span<BezierSegment> out);

}  // namespace tr640
