// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eqgraph/FilterDesign.h"
#include "model/ValueKinds.h"

#include <array>

namespace tr640 {

// ---------------------------------------------------------------------------
// The graph's frequency grid: the 513 whole steps 0 .. 512 of the frequency
// step scale, evenly spaced in log frequency from 10 Hz to 24 kHz (one step
// is a factor of about 1.0153).
struct FrequencyGrid {
    static constexpr int kPoints = kScaleSteps + 1;  // 513
    static constexpr int kLastPoint = kScaleSteps;   // 512

    // The real-valued conversions of the scale, not rounded; frequencies
    // below 1 Hz count as 1 Hz.
    static double Frequency(double step) { return StepToFrequency(step); }
    static double Step(double hertz) { return FrequencyToStep(hertz); }
};

// A band's section is evaluated at 513 bins before it is placed on the grid;
// bin 256 is the section's centre (pi/2) in every family.
inline constexpr int kBinCount = 513;
inline constexpr int kCentreBin = 256;

// Levels in dB, one per bin or one per grid point.
using BinLevels = std::array<float, kBinCount>;
using BandResponse = std::array<float, FrequencyGrid::kPoints>;
using CombinedResponse = std::array<float, FrequencyGrid::kPoints>;

// Where a band's curve is drawn: its frequency moved onto a whole step of
// the scale. `point` is the grid point that the section's centre lands on;
// it is above 512 for frequencies beyond 24 kHz, where only the lower half
// of the curve is on the graph.
struct GridSnap {
    double frequency = 10;  // whole Hz, at least 10
    int point = 0;          // at least 0
    friend bool operator==(const GridSnap&, const GridSnap&) = default;
};

// Snaps a frequency (rounded to whole Hz first) onto the grid: 1000 Hz draws
// at 1001 Hz, point 303. Halves round to the even neighbour throughout.
GridSnap SnapFrequency(double hertz);

// The normalised angular frequency (0 .. pi) at which bin `bin` (0 .. 512)
// of a section of `family` is evaluated.
double BinOmega(SectionFamily family, int bin);

// The section's level at each bin, 20 log10 |H|. A bin whose level is not a
// finite number (a zero or negative term from rounding, or a section that
// overflowed) takes the level of the bin before it; bin 0 then takes 0 dB.
BinLevels EvaluateBins(const BandSection& section);

// Places the bins on the grid with the centre bin at `gridPoint`: below it
// bins 255, 254 .. 0 and then bin 0 again; above it bins 257 .. 511 and then
// bin 511 again (bin 512 is never placed).
void PlaceBins(const BinLevels& bins, int gridPoint, BandResponse& out);

// Everything the graph knows about one band after an evaluation.
struct BandCurve {
    EqBand band;           // as loaded (stored frequency and gain for the handle)
    GridSnap snap;         // where the curve's centre sits
    BandSection section;   // the designed section
    BandResponse response;  // the band's own levels on the grid
};

// The five bands of a microphone and their sum.
struct EqResponse {
    std::array<BandCurve, kBandsPerMic> bands;
    CombinedResponse combined;  // 32-bit sum of the bands, in band order
};

// One band's response on the grid: snap, design, evaluate, place.
BandResponse EvaluateBand(const EqBand& band);
void EvaluateBand(const EqBand& band, BandCurve& out);

// The whole curve of a microphone, recomputed from scratch. The overload
// filling `out` keeps the 12 KB result off the caller's stack.
void EvaluateEq(const EqBands& bands, EqResponse& out);
EqResponse EvaluateEq(const EqBands& bands);
// Loads the microphone's bands from the shown image and evaluates them.
void EvaluateEq(const ParamStore& store, int mic, EqResponse& out);

}  // namespace tr640
