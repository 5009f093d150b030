// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamAddress.h"
#include "model/ParamStore.h"

#include <array>
#include <cstdint>

namespace tr640 {

// ---------------------------------------------------------------------------
// Band type codes, in the order of the band type boxes. A band's type slot
// holds one of these plus kBypassOffset while the band is bypassed, so a
// bypassed band draws flat but remembers its type. Every other code draws
// flat too (5 .. 99), except the fixed high-pass (100 .. 199) and low-pass
// (200 .. 255) variants that only a device or a preset file can hold. Only
// the low byte of a code reaches the filter design.
enum FilterType : int {
    kFilterParametric = 0,
    kFilterLowShelf = 1,
    kFilterHighShelf = 2,
    kFilterHighPass = 3,
    kFilterLowPass = 4,
};

// One EQ band as the graph uses it, decoded from the shown image.
struct EqBand {
    std::int32_t type = kFilterParametric;  // the code as stored, bypass included
    float frequency = 20;  // Hz as stored (whole Hz); a stored 0 reads as 20 Hz
    float gain = 0;        // dB: stored step / 5 - 30
    float q = 1;           // the Q table entry of qIndex (an index outside the table reads as its nearer end)
    std::int32_t qIndex = 0;  // the stored Q index, from slot 3 for type 0 and from slot 4 otherwise
    // Where the band's entry fields stand (frequency, gain and Q; the Q field
    // fills slots 3 and 4 alike, this is its slot 3 address). The graph looks
    // the controls up in the control map.
    ParamAddress frequencyAddress = 0;
    ParamAddress gainAddress = 0;
    ParamAddress qAddress = 0;
};

using EqBands = std::array<EqBand, kBandsPerMic>;

// Band `band` (0 .. 4) of microphone `mic` (0 or 1; anything else is taken as
// the nearer of the two) from the shown image.
EqBand LoadEqBand(const ParamStore& store, int mic, int band);
// The five bands of a microphone.
EqBands LoadEqBands(const ParamStore& store, int mic);

// ---------------------------------------------------------------------------
// A second-order section. Drawing only needs the magnitude, so the section
// is kept as its six coefficients in 32-bit floats; a0 is not normalised.
struct Biquad {
    float a0 = 1, a1 = 0, a2 = 0;  // denominator
    float b0 = 1, b1 = 0, b2 = 0;  // numerator
    friend bool operator==(const Biquad&, const Biquad&) = default;
};

// How a section's evaluation bins are spaced and which bins the level
// guards against. Peaking sections (and the flat codes drawn as a peak of
// 0 dB) spread their bins evenly over 0 .. pi; shelves and pass filters
// squeeze 0 .. pi into the middle bins so that their skirts reach further
// along the graph. The two pass families share the spacing.
enum class SectionFamily { Peaking, Shelf, HighPass, LowPass };

struct BandSection {
    SectionFamily family = SectionFamily::Peaking;
    Biquad biquad;
    friend bool operator==(const BandSection&, const BandSection&) = default;
};

// Designs a band for drawing. Every section is designed with its centre or
// corner at a quarter of the sampling rate (pi/2); the graph slides the
// curve to the band's frequency, so the frequency takes no part here.
// Only the low byte of `type` counts. A q at or below 0.1 (or NaN) is taken
// as 0.1.
BandSection DesignBand(std::int32_t type, float gainDb, float q);

// ---------------------------------------------------------------------------
// What the graph's band handles and readout need beyond the curve.

// Only codes below 100 get a handle on the graph.
constexpr bool HasHandle(std::int32_t type) { return type < 100; }

// High-pass and low-pass bands, bypassed or not: their handle sits on the
// 0 dB line and their readout is the frequency alone.
constexpr bool IsPassBand(std::int32_t type) {
    const std::int32_t kind = type % 10;
    return kind == kFilterHighPass || kind == kFilterLowPass;
}

// The level a band's handle is drawn at: 0 dB for pass bands, the band's
// gain otherwise (also when the band is bypassed and draws flat).
constexpr float HandleLevel(const EqBand& band) { return IsPassBand(band.type) ? 0.0f : band.gain; }

}  // namespace tr640
