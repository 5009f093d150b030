// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eqgraph/CurveSpline.h"
#include "eqgraph/GraphGeometry.h"

#include <QColor>

class QImage;
class QPainterPath;

namespace tr640 {

// Painting the graph's bitmap: the ground and grid, then the curve. The
// bitmap holds nothing else; handles, readout and axis labels are controls
// above it.

inline QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

// Fills the whole image with the ground colour and draws the grid lines,
// each one pixel wide and without smoothing.
void PaintGround(QImage& image, const GridLines& lines);

// The pen of the curve: 1.8 pixels of opaque orange with flat ends.
inline constexpr double kCurvePenWidth = 1.8;

// The curve as a path of cubic segments through the points.
QPainterPath CurvePath(const CurvePoints& points);

// Strokes the curve, antialiased, with the integer points on pixel centres
// (so a flat curve on row 60 covers row 60 itself, not the seam between
// rows 59 and 60). Parts off the image are clipped.
void PaintCurve(QImage& image, const CurvePoints& points);

}  // namespace tr640
