// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/EqRender.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QtMath>

namespace tr640 {

void PaintGround(QImage& image, const GridLines& lines) {
    if (image.isNull()) return;
    QPainter painter(&image);
    // The painter works in logical pixels, whatever the image's device
    // pixel ratio.
    const int width = qCeil(image.deviceIndependentSize().width());
    const int height = qCeil(image.deviceIndependentSize().height());
    painter.fillRect(0, 0, width, height, ToQColor(kGraphGround));
    for (const GridLine& line : lines) {
        if (line.horizontal) {
            painter.fillRect(0, line.at, width, 1, ToQColor(line.colour));
        } else {
            painter.fillRect(line.at, 0, 1, height, ToQColor(line.colour));
        }
    }
}

QPainterPath CurvePath(const CurvePoints& points) {
    std::array<BezierSegment, FrequencyGrid::kPoints - 1> segments;
    const std::size_t count = CardinalSplineSegments(points, kCurveTension, segments);
    QPainterPath path;
    path.reserve(static_cast<int>(1 + 3 * count));
    path.moveTo(points[0].x, points[0].y);
    for (std::size_t i = 0; i < count; ++i) {
        const BezierSegment& s = segments[i];
        path.cubicTo(s.c1.x, s.c1.y, s.c2.x, s.c2.y, s.end.x, s.end.y);
    }
    return path;
}

void PaintCurve(QImage& image, const CurvePoints& points) {
    if (image.isNull()) return;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Pixel (x, y) is the square from (x, y) to (x + 1, y + 1); its centre
    // is half a pixel in.
    painter.translate(0.5, 0.5);
    QPen pen(ToQColor(kCurveColour), kCurvePenWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(CurvePath(points));
}

}  // namespace tr640
