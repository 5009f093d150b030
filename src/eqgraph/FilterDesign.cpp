// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/FilterDesign.h"

#include "model/ValueKinds.h"

#include <cmath>
#include <numbers>

namespace tr640 {

namespace {

// Every section is designed at a quarter of the sampling rate. The angle is
// held as a 32-bit float, so its cosine is not quite zero (about -4.4e-8);
// a1 and the shelves' terms keep that tiny offset rather than a clean zero.
constexpr float kOmega0 = 1.5707964f;  // pi/2 rounded to a float

struct DesignAngle {
    float s;  // sin(w0): 1
    float c;  // cos(w0): -4.371139e-8
};

// Worked out on first use, so that a design made while other files are
// still being initialised finds them ready.
const DesignAngle& Angle() {
    static const DesignAngle angle{std::sin(kOmega0), std::cos(kOmega0)};
    return angle;
}

// The peaking section is designed with (q + 0.01) * 2.8 rather than the Q
// the table spells, so a drawn peak is 2.8 times narrower than the textbook
// section of that Q would be.
constexpr float kPeakQDivisor = 0.35714285714285715f;  // 1 / 2.8
constexpr float kPeakQOffset = 0.01f;

// Shelf slopes and pass-filter Qs above this draw like it: shelves steeper
// than slope 4 overshoot wildly, and the pass variants stop there too.
constexpr float kSlopeLimit = 4.0f;
constexpr float kSlopeOffset = 0.001f;

constexpr float kMinimumQ = 0.1f;

float LowerTo(float value, float limit) { return value > limit ? limit : value; }

float GainFactor(float gainDb) { return std::pow(10.0f, gainDb / 40.0f); }

Biquad Peaking(float gainDb, float q) {
    // The two highest table entries are drawn as 115 and 116, which keeps
    // the narrowest needles from thinning beyond what the grid can show.
    if (q == 121.0f) {
        q = 115.0f;
    } else if (q == 128.0f) {
        q = 116.0f;
    }
    const float A = GainFactor(gainDb);
    const float qDesign = (q + kPeakQOffset) / kPeakQDivisor;
    const float alpha = Angle().s / (2.0f * qDesign);
    Biquad f;
    f.a0 = 1.0f + alpha / A;
    f.a1 = -2.0f * Angle().c;
    f.a2 = 1.0f - alpha / A;
    f.b0 = 1.0f + alpha * A;
    f.b1 = -2.0f * Angle().c;
    f.b2 = 1.0f - alpha * A;
    return f;
}

Biquad Shelf(bool high, float gainDb, float q) {
    const float A = GainFactor(gainDb);
    const float slope = LowerTo(q, kSlopeLimit) + kSlopeOffset;
    // The absolute value keeps the root real for slopes the textbook design
    // does not allow (a steep shelf with a large gain).
    const float alpha = (Angle().s / 2.0f) * std::sqrt(std::fabs((A + 1.0f / A) * (1.0f / slope - 1.0f) + 2.0f));
    const float root = 2.0f * std::sqrt(A) * alpha;
    const float c = Angle().c;
    Biquad f;
    if (high) {
        f.b0 = A * ((A + 1.0f) + (A - 1.0f) * c + root);
        f.b1 = -2.0f * A * ((A - 1.0f) + (A + 1.0f) * c);
        f.b2 = A * ((A + 1.0f) + (A - 1.0f) * c - root);
        f.a0 = (A + 1.0f) - (A - 1.0f) * c + root;
        f.a1 = 2.0f * ((A - 1.0f) - (A + 1.0f) * c);
        f.a2 = (A + 1.0f) - (A - 1.0f) * c - root;
    } else {
        f.b0 = A * ((A + 1.0f) - (A - 1.0f) * c + root);
        f.b1 = 2.0f * A * ((A - 1.0f) - (A + 1.0f) * c);
        f.b2 = A * ((A + 1.0f) - (A - 1.0f) * c - root);
        f.a0 = (A + 1.0f) + (A - 1.0f) * c + root;
        f.a1 = -2.0f * ((A - 1.0f) + (A + 1.0f) * c);
        f.a2 = (A + 1.0f) + (A - 1.0f) * c - root;
    }
    return f;
}

// A second-order pass section with alpha = sin(w0) / d, where d is 2 Q.
Biquad PassSection(bool highPass, float d) {
    const float alpha = Angle().s / d;
    const float c = Angle().c;
    Biquad f;
    f.a0 = 1.0f + alpha;
    f.a1 = -2.0f * c;
    f.a2 = 1.0f - alpha;
    if (highPass) {
        f.b0 = (1.0f + c) / 2.0f;
        f.b1 = -(1.0f + c);
        f.b2 = (1.0f + c) / 2.0f;
    } else {
        f.b0 = (1.0f - c) / 2.0f;
        f.b1 = 1.0f - c;
        f.b2 = (1.0f - c) / 2.0f;
    }
    return f;
}

// Pass sections from the bilinear transform of an analogue prototype with
// damping m, prewarped to the quarter rate: K = tan(pi/4), which is 1 up to
// rounding. Worked in extended precision and stored as floats; they never
// change, so they are made once.
struct BilinearSections {
    Biquad lowPassButterworthStage;  // m = 2 cos(pi/8): one stage of a fourth-order Butterworth
    Biquad highPassDampingOne;       // m = 1
};

const BilinearSections& Bilinear() {
    static const BilinearSections sections = [] {
        using std::numbers::pi_v;
        const long double K = std::tan(pi_v<long double> / 4);
        const long double K2 = K * K;
        BilinearSections s;

        const long double m3 = 2 * std::cos(pi_v<long double> / 8);
        const long double D3 = 1 + m3 * K + K2;
        Biquad& lp = s.lowPassButterworthStage;
        lp.a0 = 1.0f;
        lp.a1 = static_cast<float>(2 * (K2 - 1) / D3);
        lp.a2 = static_cast<float>((1 - m3 * K + K2) / D3);
        lp.b0 = static_cast<float>(K2 / D3);
        lp.b1 = static_cast<float>(2 * K2 / D3);
        lp.b2 = static_cast<float>(K2 / D3);

        const long double D1 = 1 + K + K2;
        Biquad& hp = s.highPassDampingOne;
        hp.a0 = 1.0f;
        hp.a1 = static_cast<float>(2 * (K2 - 1) / D1);
        hp.a2 = static_cast<float>((1 - K + K2) / D1);
        hp.b0 = static_cast<float>(1 / D1);
        hp.b1 = static_cast<float>(-2 / D1);
        hp.b2 = static_cast<float>(1 / D1);
        return s;
    }();
    return sections;
}

// The fixed variants of the pass families (variant = code mod 10). Codes 3
// and 4 are variants 3 and 4 and follow the band's Q; 100 .. 255 are fixed
// shapes whatever the band's Q says.
Biquad PassVariant(bool highPass, int variant, float q) {
    const float userQ = LowerTo(q, kSlopeLimit) + kSlopeOffset;
    switch (variant) {
        case 0: return Biquad{};
        case 1: return PassSection(highPass, 2.0f / std::sqrt(3.0f));  // Q 0.577
        case 2: return PassSection(highPass, 2.0f / std::sqrt(2.0f));  // Q 0.707
        case 3:
            if (!highPass) return Bilinear().lowPassButterworthStage;
            return PassSection(highPass, 2.0f * userQ);
        case 4:
        case 5: return PassSection(highPass, 2.0f * userQ);
        default:
            if (highPass) return Bilinear().highPassDampingOne;
            return PassSection(highPass, 1.414f);
    }
}

int ClampMic(int mic) { return mic <= 0 ? 0 : 1; }

}  // namespace

BandSection DesignBand(std::int32_t type, float gainDb, float q) {
    if (!(q > kMinimumQ)) q = kMinimumQ;
    const int code = static_cast<std::uint8_t>(type);  // the low byte, whatever the sign
    BandSection section;
    if (code == kFilterParametric) {
        section.family = SectionFamily::Peaking;
        section.biquad = Peaking(gainDb, q);
    } else if (code == kFilterLowShelf || code == kFilterHighShelf) {
        section.family = SectionFamily::Shelf;
        section.biquad = Shelf(code == kFilterHighShelf, gainDb, q);
    } else if (code == kFilterHighPass || (code >= 100 && code < 200)) {
        section.family = SectionFamily::HighPass;
        section.biquad = PassVariant(true, code % 10, q);
    } else if (code == kFilterLowPass || code >= 200) {
        section.family = SectionFamily::LowPass;
        section.biquad = PassVariant(false, code % 10, q);
    } else {
        // Bypassed bands and unknown codes: a peak of 0 dB, which is flat.
        section.family = SectionFamily::Peaking;
        section.biquad = Peaking(0.0f, q);
    }
    return section;
}

EqBand LoadEqBand(const ParamStore& store, int mic, int band) {
    const int m = ClampMic(mic);
    EqBand b;
    b.type = store.Shown(BandAddress(m, band, kSlotType));
    const std::int32_t frequency = store.Shown(BandAddress(m, band, kSlotFrequency));
    b.frequency = frequency == 0 ? 20.0f : static_cast<float>(frequency);
    b.gain = static_cast<float>(store.Shown(BandAddress(m, band, kSlotGain)) / 5.0 - 30.0);
    // The Q slot is chosen on the stored code itself: a bypassed parametric
    // band (10) already reads the Q of the other types.
    b.qIndex = store.Shown(BandAddress(m, band, b.type == 0 ? kSlotQ : kSlotQOther));
    b.q = static_cast<float>(QTableValue(b.qIndex));
    b.frequencyAddress = BandAddress(m, band, kSlotFrequency);
    b.gainAddress = BandAddress(m, band, kSlotGain);
    b.qAddress = BandAddress(m, band, kSlotQ);
    return b;
}

EqBands LoadEqBands(const ParamStore& store, int mic) {
    EqBands bands;
    for (int i = 0; i < kBandsPerMic; ++i) bands[static_cast<std::size_t>(i)] = LoadEqBand(store, mic, i);
    return bands;
}

}  // namespace tr640
