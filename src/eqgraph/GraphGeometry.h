// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tr640 {

// ---------------------------------------------------------------------------
// The EQ graph's coordinate system: log frequency across (10 Hz at x = 0,
// 24 kHz at x = W), level in dB down (+12 dB on row 0, -30 dB on the last
// row). Plain numbers, so the drawing, the handles and the tests share one
// set of conversions.

inline constexpr int kGraphWidth = 829;   // the main window's drawing surface
inline constexpr int kGraphHeight = 212;
inline constexpr double kGraphTopLevel = 12.0;
inline constexpr double kGraphBottomLevel = -30.0;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kGraphGround{21, 21, 21};
inline constexpr Rgb kGridBright{80, 80, 80};  // 0 dB, the borders, the decades
inline constexpr Rgb kGridMiddle{64, 64, 64};  // every 3 dB, the 2 .. 9 of each decade
inline constexpr Rgb kGridDark{23, 23, 23};    // every other whole dB
inline constexpr Rgb kCurveColour{255, 102, 0};

// Pixel <-> frequency and level for a surface of the given size. The scale
// keeps "pixels per grid step" as the graph's set-up leaves it (1.0 until
// the first set-up), so a handle dragged before a set-up converts as the
// old graph did.
class GraphScale {
public:
    // The set-up's first step: the surface size and p = W / 512.
    void SetUp(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    double PixelsPerStep() const { return pixelsPerStep_; }

    // Real-valued, not rounded: callers take the nearest integer where they
    // place something. Frequencies below 1 Hz count as 1 Hz, so x is always
    // a finite number.
    double X(double hertz) const;
    double Frequency(double x) const;
    double Y(double level) const;
    double Level(double y) const;

private:
    int width_ = kGraphWidth;
    int height_ = kGraphHeight;
    double pixelsPerStep_ = 1.0;
};

// ---------------------------------------------------------------------------
// The grid, in the order it is painted over the ground: the 43 whole-dB rows
// from -30 to +12, the decade columns, the other columns, then the top and
// bottom rows again so that no column cuts through the border. A row spans
// columns 0 .. W-1, a column rows 0 .. H-1 (a line stops short of its end
// point); `at` may fall outside the surface for an odd size.
struct GridLine {
    bool horizontal = true;
    int at = 0;  // the row or the column
    Rgb colour;
};

inline constexpr int kGridLineCount = 43 + 4 + 25 + 2;
using GridLines = std::array<GridLine, kGridLineCount>;

GridLines MakeGridLines(const GraphScale& scale);

// The colour of the row of a whole level.
Rgb LevelRowColour(int level);

// ---------------------------------------------------------------------------
// Axis labels: eight level labels left of the surface and ten frequency
// labels under it, placed in the outer panel's coordinates from where the
// surface's panel sits in it.

struct AxisLabel {
    std::string_view name;
    std::string_view text;
    bool level = false;  // a level label (at `value` dB), else a frequency label (at `value` Hz)
    double value = 0;
};

inline constexpr int kLevelLabelCount = 8;
inline constexpr int kFrequencyLabelCount = 10;
inline constexpr int kAxisLabelCount = kLevelLabelCount + kFrequencyLabelCount;

// EQLabelY0 .. EQLabelY7 (-30dB .. 12dB), then EQLabelX11 .. EQLabelX20
// (20Hz .. 20KHz).
const std::array<AxisLabel, kAxisLabelCount>& AxisLabels();

struct Place {
    int left = 0;
    int top = 0;
    friend bool operator==(const Place&, const Place&) = default;
};

// A label of the given text size, centred on its grid line. `panelLeft` and
// `panelTop` are where the surface's panel sits inside the labels' parent.
Place AxisLabelPlace(const GraphScale& scale, const AxisLabel& label, int width, int height, int panelLeft,
                     int panelTop);

}  // namespace tr640
