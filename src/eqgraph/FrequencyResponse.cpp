// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/FrequencyResponse.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tr640 {

namespace {

// Beyond this the placement no longer changes (from point 768 on every grid
// point takes bin 0); the cap only keeps absurd frequencies inside an int.
constexpr double kFarthestPoint = 65536.0;

// Shelves spread 0 .. pi over bins 120 .. 392, pass filters over 140 .. 372;
// the bins outside repeat the level just inside pi/512 or 511 pi/512.
constexpr int kShelfThreshold = 120;
constexpr int kPassThreshold = 140;

double RoundHalfEven(double x) {
    double r = std::round(x);
    // round() takes halves away from zero; an exact half goes to the even
    // neighbour instead.
    if (std::fabs(x - std::trunc(x)) == 0.5) r = 2.0 * std::round(x / 2.0);
    return r;
}

// The bin's position on the 0 .. 512 scale of 0 .. pi.
double BinPosition(SectionFamily family, int bin) {
    if (family == SectionFamily::Peaking) return bin;
    const bool shelf = family == SectionFamily::Shelf;
    const int threshold = shelf ? kShelfThreshold : kPassThreshold;
    const double span = kCentreBin - threshold;
    if (bin <= kCentreBin) {
        // Shelves start their sweep at the threshold bin itself (at 0),
        // pass filters just after it (0 is a pass filter's zero).
        const bool past = shelf ? bin >= threshold : bin > threshold;
        return past ? (bin - threshold) / span * kCentreBin : 1.0;
    }
    if (bin <= kBinCount - 1 - threshold) return (bin - kCentreBin) / span * kCentreBin + kCentreBin;
    return kBinCount - 2;  // 511
}

// phi = (2 sin(w/2))^2 = 2 - 2 cos(w) of every bin, for one bin spacing.
// The sines do not depend on the band, so each spacing is worked out once.
using PhiTable = std::array<double, kBinCount>;

PhiTable MakePhiTable(SectionFamily family) {
    PhiTable phi{};
    for (int j = 0; j < kBinCount; ++j) {
        const double s = 2.0 * std::sin(BinOmega(family, j) / 2.0);
        phi[static_cast<std::size_t>(j)] = s * s;
    }
    return phi;
}

const PhiTable& PhiFor(SectionFamily family) {
    static const PhiTable peaking = MakePhiTable(SectionFamily::Peaking);
    static const PhiTable shelf = MakePhiTable(SectionFamily::Shelf);
    static const PhiTable pass = MakePhiTable(SectionFamily::HighPass);
    switch (family) {
        case SectionFamily::Peaking: return peaking;
        case SectionFamily::Shelf: return shelf;
        case SectionFamily::HighPass:
        case SectionFamily::LowPass: break;
    }
    return pass;
}

// |P(e^jw)|^2 of a quadratic p0 + p1 z^-1 + p2 z^-2, written in phi:
//   phi (p0 p2 phi - (p1 (p0 + p2) + 4 p0 p2)) + (p0 + p1 + p2)^2.
// Worked in double: near the notch of a narrow cut the two parts nearly
// cancel, and in single precision the level there is off by tens of dB.
struct SquaredMagnitude {
    double quadratic, linear, constant;
    SquaredMagnitude(float p0, float p1, float p2) {
        const double x0 = p0, x1 = p1, x2 = p2;
        quadratic = x0 * x2;
        linear = x1 * (x0 + x2) + 4.0 * x0 * x2;
        const double sum = x0 + x1 + x2;
        constant = sum * sum;
    }
    double At(double phi) const { return phi * (quadratic * phi - linear) + constant; }
};

bool UsableTerm(double x) { return x > 0.0 && std::isfinite(x); }

}  // namespace

GridSnap SnapFrequency(double hertz) {
    const double whole = RoundHalfEven(hertz);
    const double step = RoundHalfEven(FrequencyGrid::Step(whole));
    GridSnap snap;
    snap.frequency = RoundHalfEven(FrequencyGrid::Frequency(step));
    if (!(snap.frequency > 10.0)) snap.frequency = 10.0;  // NaN too
    const double point = RoundHalfEven(FrequencyGrid::Step(snap.frequency));
    snap.point = static_cast<int>(std::clamp(point, 0.0, kFarthestPoint));
    return snap;
}

double BinOmega(SectionFamily family, int bin) {
    bin = std::clamp(bin, 0, kBinCount - 1);
    return BinPosition(family, bin) * std::numbers::pi / 512.0;
}

BinLevels EvaluateBins(const BandSection& section) {
    const Biquad& f = section.biquad;
    const SquaredMagnitude numerator(f.b0, f.b1, f.b2);
    const SquaredMagnitude denominator(f.a0, f.a1, f.a2);
    const PhiTable& phi = PhiFor(section.family);
    BinLevels levels{};
    float previous = 0.0f;
    for (std::size_t j = 0; j < levels.size(); ++j) {
        const double n = numerator.At(phi[j]);
        const double d = denominator.At(phi[j]);
        // A term that is not positive has no logarithm: a true zero (a low-pass
        // zero at pi) or rounding just around one. Such a bin,
        // and any bin of a section whose coefficients overflowed, repeats the
        // bin before it so that the curve stays continuous.
        if (UsableTerm(n) && UsableTerm(d)) {
            // One logarithm of the ratio halves the cost of a redraw; only a
            // ratio beyond the double range needs the two separately.
            const double ratio = n / d;
            const double level =
                std::isnormal(ratio) ? 10.0 * std::log10(ratio) : 10.0 * std::log10(n) - 10.0 * std::log10(d);
            previous = static_cast<float>(level);
        }
        levels[j] = previous;
    }
    return levels;
}

void PlaceBins(const BinLevels& bins, int gridPoint, BandResponse& out) {
    // Walking down from the centre the bins run 256, 255 .. 0 and then stay
    // at 0; walking up they run 256 .. 511 and stay at 511. Both walks come
    // down to the grid point's offset from the centre, clamped.
    const long long centre = gridPoint;
    for (int p = 0; p < FrequencyGrid::kPoints; ++p) {
        const long long bin = std::clamp<long long>(kCentreBin + (p - centre), 0, kBinCount - 2);
        out[static_cast<std::size_t>(p)] = bins[static_cast<std::size_t>(bin)];
    }
}

void EvaluateBand(const EqBand& band, BandCurve& out) {
    out.band = band;
    out.snap = SnapFrequency(band.frequency);
    out.section = DesignBand(band.type, band.gain, band.q);
    PlaceBins(EvaluateBins(out.section), out.snap.point, out.response);
}

BandResponse EvaluateBand(const EqBand& band) {
    BandCurve curve;
    EvaluateBand(band, curve);
    return curve.response;
}

void EvaluateEq(const EqBands& bands, EqResponse& out) {
    for (std::size_t i = 0; i < bands.size(); ++i) EvaluateBand(bands[i], out.bands[i]);
    // Summed in single precision from 0, band 0 first.
    for (std::size_t p = 0; p < out.combined.size(); ++p) {
        float sum = 0.0f;
        for (const BandCurve& curve : out.bands) sum += curve.response[p];
        out.combined[p] = sum;
    }
}

EqResponse EvaluateEq(const EqBands& bands) {
    EqResponse response;
    EvaluateEq(bands, response);
    return response;
}

void EvaluateEq(const ParamStore& store, int mic, EqResponse& out) { EvaluateEq(LoadEqBands(store, mic), out); }

}  // namespace tr640
