// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Textbook counterparts of the EQ core, written straight from the filter
// equations in double precision and sharing no code with it: the transfer
// function evaluated as a complex ratio, the bin spacing of each family and
// the section designs. The tests hold the core against these.

#include "eqgraph/FilterDesign.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace tr640::eqref {

inline constexpr double kPi = std::numbers::pi;

// 20 log10 |H(e^jw)| of a section, as a complex ratio of its two quadratics.
inline double LevelAt(const Biquad& f, double omega) {
    const std::complex<double> z1 = std::polar(1.0, -omega);  // z^-1
    const std::complex<double> z2 = z1 * z1;                  // z^-2
    const std::complex<double> num = double(f.b0) + double(f.b1) * z1 + double(f.b2) * z2;
    const std::complex<double> den = double(f.a0) + double(f.a1) * z1 + double(f.a2) * z2;
    return 20.0 * std::log10(std::abs(num) / std::abs(den));
}

enum class Spacing { Even, Shelf, Pass };

inline Spacing SpacingOf(SectionFamily family) {
    switch (family) {
        case SectionFamily::Peaking: return Spacing::Even;
        case SectionFamily::Shelf: return Spacing::Shelf;
        default: return Spacing::Pass;
    }
}

// Where bin j sits in 0 .. pi: evenly for peaks; shelves sweep 0 .. pi over
// bins 120 .. 392, pass filters over 141 .. 372 (from pi/512 up), and hold
// pi/512 or 511 pi/512 outside.
inline double BinOmega(Spacing spacing, int j) {
    double m = j;
    if (spacing != Spacing::Even) {
        const int t = spacing == Spacing::Shelf ? 120 : 140;
        const bool lowSideSweeps = spacing == Spacing::Shelf ? j >= t : j > t;
        if (j <= 256) {
            m = lowSideSweeps ? (j - t) * 256.0 / (256 - t) : 1.0;
        } else {
            m = j <= 512 - t ? 256.0 + (j - 256) * 256.0 / (256 - t) : 511.0;
        }
    }
    return m * kPi / 512.0;
}

// The bin that grid point p shows for a band centred on grid point g.
inline int PlacedBin(int p, int g) { return std::clamp(256 + p - g, 0, 511); }

// ---------------------------------------------------------------------------
// Designs in double, from the design angle held as a float (pi/2 rounded).
struct Coefficients {
    double a0 = 1, a1 = 0, a2 = 0, b0 = 1, b1 = 0, b2 = 0;
};

inline double DesignCos() { return std::cos(double(1.5707964f)); }
inline double DesignSin() { return std::sin(double(1.5707964f)); }

inline Coefficients Peak(double gainDb, double q) {
    const double A = std::pow(10.0, gainDb / 40.0);
    const double alpha = DesignSin() / (2.0 * (q + 0.01) * 2.8);
    const double c = DesignCos();
    return {1 + alpha / A, -2 * c, 1 - alpha / A, 1 + alpha * A, -2 * c, 1 - alpha * A};
}

inline Coefficients ShelfWithSlope(bool high, double gainDb, double slope) {
    const double A = std::pow(10.0, gainDb / 40.0);
    const double c = DesignCos();
    const double alpha = DesignSin() / 2 * std::sqrt(std::fabs((A + 1 / A) * (1 / slope - 1) + 2));
    const double r = 2 * std::sqrt(A) * alpha;
    if (high) {
        return {(A + 1) - (A - 1) * c + r, 2 * ((A - 1) - (A + 1) * c), (A + 1) - (A - 1) * c - r,
                A * ((A + 1) + (A - 1) * c + r), -2 * A * ((A - 1) + (A + 1) * c), A * ((A + 1) + (A - 1) * c - r)};
    }
    return {(A + 1) + (A - 1) * c + r, -2 * ((A - 1) + (A + 1) * c), (A + 1) + (A - 1) * c - r,
            A * ((A + 1) - (A - 1) * c + r), 2 * A * ((A - 1) - (A + 1) * c), A * ((A + 1) - (A - 1) * c - r)};
}

// A pass section of quality q (alpha = sin w0 / (2 q)).
inline Coefficients PassWithQ(bool high, double q) {
    const double c = DesignCos();
    const double alpha = DesignSin() / (2 * q);
    if (high) return {1 + alpha, -2 * c, 1 - alpha, (1 + c) / 2, -(1 + c), (1 + c) / 2};
    return {1 + alpha, -2 * c, 1 - alpha, (1 - c) / 2, 1 - c, (1 - c) / 2};
}

// Bilinear-transform sections at the quarter rate (K = 1) with damping m.
inline Coefficients BilinearLowPass(double m) {
    const double d = 2 + m;
    return {1, 0, (2 - m) / d, 1 / d, 2 / d, 1 / d};
}
inline Coefficients BilinearHighPass(double m) {
    const double d = 2 + m;
    return {1, 0, (2 - m) / d, 1 / d, -2 / d, 1 / d};
}

inline Biquad ToBiquad(const Coefficients& c) {
    Biquad f;
    f.a0 = float(c.a0);
    f.a1 = float(c.a1);
    f.a2 = float(c.a2);
    f.b0 = float(c.b0);
    f.b1 = float(c.b1);
    f.b2 = float(c.b2);
    return f;
}

// Largest coefficient difference, relative to the largest coefficient.
inline double RelativeDistance(const Biquad& f, const Coefficients& c) {
    const double got[6] = {f.a0, f.a1, f.a2, f.b0, f.b1, f.b2};
    const double want[6] = {c.a0, c.a1, c.a2, c.b0, c.b1, c.b2};
    double scale = 0, diff = 0;
    for (int i = 0; i < 6; ++i) {
        scale = std::max(scale, std::fabs(want[i]));
        diff = std::max(diff, std::fabs(got[i] - want[i]));
    }
    return diff / scale;
}

}  // namespace tr640::eqref
