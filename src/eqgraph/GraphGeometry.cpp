// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/GraphGeometry.h"

#include "model/ValueKinds.h"

#include <algorithm>
#include <cmath>

namespace tr640 {

namespace {

constexpr double kLevelSpan = kGraphTopLevel - kGraphBottomLevel;  // 42 dB

// The surface's last row, as a divisor that is never zero.
double LastRow(int height) { return std::max(height - 1, 1); }

}  // namespace

void GraphScale::SetUp(int width, int height) {
    width_ = width;
    height_ = height;
    pixelsPerStep_ = static_cast<double>(width) / kScaleSteps;
}

double GraphScale::X(double hertz) const {
    return (std::log10(std::max(hertz, 1.0)) - 1.0) / kScaleDecades * kScaleSteps * pixelsPerStep_;
}

double GraphScale::Frequency(double x) const {
    // A zero-width surface has no pixels to convert; stay at the low end.
    if (pixelsPerStep_ <= 0) return 10.0;
    return std::pow(10.0, x * kScaleDecades / (kScaleSteps * pixelsPerStep_) + 1.0);
}

double GraphScale::Y(double level) const { return (kGraphTopLevel - level) / kLevelSpan * LastRow(height_); }

double GraphScale::Level(double y) const { return kGraphTopLevel - y / LastRow(height_) * kLevelSpan; }

Rgb LevelRowColour(int level) {
    if (level == -30 || level == 0 || level == 12) return kGridBright;
    if (level % 3 == 0) return kGridMiddle;
    return kGridDark;
}

GridLines MakeGridLines(const GraphScale& scale) {
    GridLines lines{};
    std::size_t n = 0;
    for (int level = -30; level <= 12; ++level)
        lines[n++] = {true, Nearest(scale.Y(level)), LevelRowColour(level)};

    lines[n++] = {false, 0, kGridBright};
    for (const double decade : {100.0, 1000.0, 10000.0}) lines[n++] = {false, Nearest(scale.X(decade)), kGridBright};
    static constexpr double kMinorColumns[] = {20,   30,   40,   50,   60,   70,   80,   90,   200,
                                              300,  400,  500,  600,  700,  800,  900,  2000, 3000,
                                              4000, 5000, 6000, 7000, 8000, 9000, 20000};
    for (const double hertz : kMinorColumns) lines[n++] = {false, Nearest(scale.X(hertz)), kGridMiddle};

    // The borders once more, over the ends of the columns.
    lines[n++] = {true, Nearest(scale.Y(kGraphTopLevel)), kGridBright};
    lines[n++] = {true, Nearest(scale.Y(kGraphBottomLevel)), kGridBright};
    return lines;
}

const std::array<AxisLabel, kAxisLabelCount>& AxisLabels() {
    static const std::array<AxisLabel, kAxisLabelCount> labels = {{
        {"EQLabelY0", "-30dB", true, -30},
        {"EQLabelY1", "-24dB", true, -24},
        {"EQLabelY2", "-18dB", true, -18},
        {"EQLabelY3", "-12dB", true, -12},
        {"EQLabelY4", "-6dB", true, -6},
        {"EQLabelY5", "0dB", true, 0},
        {"EQLabelY6", "6dB", true, 6},
        {"EQLabelY7", "12dB", true, 12},
        {"EQLabelX11", "20Hz", false, 20},
        {"EQLabelX12", "50Hz", false, 50},
        {"EQLabelX13", "100Hz", false, 100},
        {"EQLabelX14", "200Hz", false, 200},
        {"EQLabelX15", "500Hz", false, 500},
        {"EQLabelX16", "1KHz", false, 1000},
        {"EQLabelX17", "2KHz", false, 2000},
        {"EQLabelX18", "5KHz", false, 5000},
        {"EQLabelX19", "10KHz", false, 10000},
        {"EQLabelX20", "20KHz", false, 20000},
    }};
    return labels;
}

Place AxisLabelPlace(const GraphScale& scale, const AxisLabel& label, int width, int height, int panelLeft,
                     int panelTop) {
    if (label.level) {
        // Right-aligned 2 pixels short of the surface, centred on its row.
        return {panelLeft - width - 2, Nearest(scale.Y(label.value)) + panelTop - height / 2};
    }
    // Centred on its column, just under the surface.
    return {Nearest(scale.X(label.value)) + panelLeft - width / 2, panelTop + scale.Height()};
}

}  // namespace tr640
