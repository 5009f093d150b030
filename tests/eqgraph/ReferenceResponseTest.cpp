// SPDX-License-Identifier: GPL-3.0-or-later
// The core's levels against the transfer function itself: every designed
// section is evaluated as the complex ratio B(e^jw) / A(e^jw) in double, at
// bin frequencies worked out here from the spacing rules, and compared bin
// by bin and grid point by grid point.

#include "eqgraph/FrequencyResponse.h"
#include "model/ValueKinds.h"

#include "eqgraph/EqReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tr640 {
namespace {

// The core keeps each level as a float after working it in double; a float
// of -100 dB is good to about 1e-5 dB, so this leaves room while still
// catching any single-precision slip in the level formula (those show up
// as tenths of a dB and more around deep cuts).
constexpr double kToleranceDb = 1e-4;

// Below this the reference has found a true zero of the section (a low pass
// at pi): the core has no logarithm there and repeats the bin before.
constexpr double kTrueZeroDb = -250.0;

const int kCodes[] = {0,   1,   2,   3,   4,   5,   7,   10,  12,  13,  14,  99,  100, 101, 102,
                      103, 104, 105, 106, 109, 200, 201, 202, 203, 204, 205, 206, 209, 255};
const float kGains[] = {-30.0f, -17.4f, -6.0f, -0.2f, 0.0f, 0.2f, 3.0f, 6.0f, 12.0f};
const int kQIndices[] = {0, 5, 13, 19, 25, 30, 37, 49, 62, 75, 90, 100, 107, 108, 109};

struct Worst {
    double errorDb = 0;
    int code = 0, bin = 0;
    float gain = 0, q = 0;
};

TEST(ReferenceResponseTest, EveryBinMatchesTheTransferFunction) {
    Worst worst;
    int compared = 0, zeros = 0;
    for (int code : kCodes) {
        for (float gain : kGains) {
            for (int qi : kQIndices) {
                const float q = float(QTableValue(qi));
                const BandSection section = DesignBand(code, gain, q);
                const BinLevels bins = EvaluateBins(section);
                const eqref::Spacing spacing = eqref::SpacingOf(section.family);
                for (int j = 0; j < kBinCount; ++j) {
                    const double want = eqref::LevelAt(section.biquad, eqref::BinOmega(spacing, j));
                    const float got = bins[std::size_t(j)];
                    ASSERT_TRUE(std::isfinite(got));
                    if (!(want > kTrueZeroDb)) {
                        ASSERT_GT(j, 0);
                        EXPECT_EQ(got, bins[std::size_t(j - 1)]) << "code " << code << " bin " << j;
                        ++zeros;
                        continue;
                    }
                    const double error = std::fabs(got - want);
                    ++compared;
                    if (error > worst.errorDb) worst = {error, code, j, gain, q};
                }
            }
        }
    }
    std::printf("[ reference ] %d bins compared, %d true zeros, worst %.3g dB (code %d, gain %.1f, q %.2f, bin %d)\n",
                compared, zeros, worst.errorDb, worst.code, double(worst.gain), double(worst.q), worst.bin);
    EXPECT_LT(worst.errorDb, kToleranceDb) << "code " << worst.code << " gain " << worst.gain << " q " << worst.q
                                           << " bin " << worst.bin;
    EXPECT_GT(zeros, 0);  // the low passes' zero at pi was met
}

TEST(ReferenceResponseTest, EveryGridPointMatchesTheTransferFunctionAtItsPlacedBin) {
    // The spread covers the bottom of the grid, the middle, the top and a
    // frequency beyond it (only the lower half of the curve on the graph).
    struct Place {
        float hertz;
        int point;
    };
    const Place places[] = {{10, 0}, {20, 46}, {100, 151}, {1000, 303}, {7777, 438}, {20000, 500}, {30000, 527}};
    double worst = 0;
    for (const Place& place : places) {
        for (int code : {0, 1, 2, 3, 4, 12, 106, 203}) {
            for (float gain : {-30.0f, -3.0f, 9.0f}) {
                for (int qi : {0, 25, 49, 109}) {
                    const float q = float(QTableValue(qi));
                    EqBand band;
                    band.type = code;
                    band.frequency = place.hertz;
                    band.gain = gain;
                    band.q = q;
                    const BandSection section = DesignBand(code, gain, q);
                    const BinLevels bins = EvaluateBins(section);
                    const BandResponse r = EvaluateBand(band);
                    const eqref::Spacing spacing = eqref::SpacingOf(section.family);
                    for (int p = 0; p < FrequencyGrid::kPoints; ++p) {
                        const int bin = eqref::PlacedBin(p, place.point);
                        ASSERT_EQ(r[std::size_t(p)], bins[std::size_t(bin)]) << place.hertz << ' ' << p;
                        const double want = eqref::LevelAt(section.biquad, eqref::BinOmega(spacing, bin));
                        if (!(want > kTrueZeroDb)) continue;
                        worst = std::max(worst, std::fabs(r[std::size_t(p)] - want));
                    }
                }
            }
        }
    }
    std::printf("[ reference ] grid placement: worst %.3g dB\n", worst);
    EXPECT_LT(worst, kToleranceDb);
}

}  // namespace
}  // namespace tr640
