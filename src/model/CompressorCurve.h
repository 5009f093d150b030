// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamAddress.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

namespace tr640 {

class ParamStore;

// The static curve of one dynamics band: output level against input level,
// a line through five points. The levels are kept as floats so that a point
// being dragged sits exactly where the mouse put it; only what is shown in
// the fields and what is stored is rounded to whole dB.
inline constexpr int kCompressorPoints = 5;
inline constexpr int kCompressorBands = 3;  // 0 low, 1 mid, 2 high
inline constexpr int kCompressorStartBand = 1;

inline constexpr float kCompressorInputMin = -90.0f;
inline constexpr float kCompressorInputMax = 6.0f;
inline constexpr float kCompressorOutputMin = -113.0f;
inline constexpr float kCompressorOutputMax = 15.0f;
// The device cannot lift a level by more than this.
inline constexpr float kCompressorMaxGain = 36.0f;

struct CompressorCurve {
    std::array<float, kCompressorPoints> input{};
    std::array<float, kCompressorPoints> output{};
    friend bool operator==(const CompressorCurve&, const CompressorCurve&) = default;
};

// Where an update takes its values from.
enum class CompressorUpdate {
    Load,    // the band's five packed values in the shown image
    Drag,    // the curve already holds the dragged point
    Fields,  // the ten number fields
    Apply,   // the curve as it is; then stored and sent
};

// The band the editor works on: 0, 1 and 2 stay, anything else is the high
// band.
int CompressorBand(int band);
// Window title of a band (UTF-8), after CompressorBand.
std::string_view CompressorTitle(int band);
// Page 1, index 62 + 8 * band + point.
ParamAddress CompressorCurveAddress(int band, int point);

// The curve that Reset stores: flat from -90 to +6 dB.
CompressorCurve ResetCompressorCurve();
// The curve the chart is built with before anything is loaded.
CompressorCurve InitialChartCurve();

// Every update's limits: each level inside its range, no output more than
// 36 dB above its input, then the fixed inputs of the end points. The end
// points get their inputs after the 36 dB rule has been applied, so an end
// point can keep an output that was allowed at the input it had before.
void LimitCompressorCurve(CompressorCurve& curve);
// One pass, each step taking the smaller of two neighbours, in a fixed
// order. It is deliberately a single pass: a badly unordered curve may stay
// partly unordered, and the device takes it as it is.
void OrderCompressorCurve(CompressorCurve& curve);
// Both of the above, in that order.
void ConstrainCompressorCurve(CompressorCurve& curve);

// A level as the fields show it and the device stores it: the nearest whole
// dB, a half going to the even neighbour.
int WholeDb(float level);

// The packed values of the five points (from whole dB), and back.
std::array<std::int32_t, kCompressorPoints> PackCompressorCurve(const CompressorCurve& curve);
CompressorCurve UnpackCompressorCurve(const std::array<std::int32_t, kCompressorPoints>& packed);

// The band's five points as the shown image holds them, unpacked but not
// limited: a value from a device or a preset file may decode far outside the
// levels, and it is the update's limits that bring it back.
CompressorCurve LoadCompressorCurve(const ParamStore& store, int band);

// Moves point `index` to the mouse position (x, y) in dB: x inside the input
// range, y inside the output range and at most x + 36 dB. A position that is
// not a number (a chart without a plot area yet) leaves the curve alone.
// Returns whether the point was moved.
bool DragCompressorPoint(CompressorCurve& curve, int index, double x, double y);

// Writes the packed points into the shown image, then hands them to `send`
// from point 4 down to point 0.
using SendParameterFn = std::function<void(int address, std::int32_t value)>;
void StoreCompressorCurve(const CompressorCurve& curve, int band, ParamStore& store, const SendParameterFn& send);

}  // namespace tr640
