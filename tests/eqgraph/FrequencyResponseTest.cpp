// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/FrequencyResponse.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"

#include "eqgraph/EqReference.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <memory>

namespace tr640 {
namespace {

using eqref::kPi;

EqBand Band(int type, float frequency, float gain, float q) {
    EqBand b;
    b.type = type;
    b.frequency = frequency;
    b.gain = gain;
    b.q = q;
    return b;
}

// ---------------------------------------------------------------------------
// The grid and snapping.

TEST(FrequencyGridTest, RunsFromTenHertzTo24KilohertzIn512Steps) {
    EXPECT_EQ(FrequencyGrid::kPoints, 513);
    EXPECT_NEAR(FrequencyGrid::Frequency(0), 10.0, 1e-9);
    EXPECT_NEAR(FrequencyGrid::Frequency(256), 489.9, 0.05);
    EXPECT_NEAR(FrequencyGrid::Frequency(512), 24000.0, 1e-6);
    EXPECT_NEAR(FrequencyGrid::Frequency(1) / FrequencyGrid::Frequency(0), 1.0153, 1e-4);
    EXPECT_NEAR(FrequencyGrid::Step(24000), 512.0, 1e-9);
    EXPECT_EQ(FrequencyGrid::Step(0.5), FrequencyGrid::Step(1));
}

TEST(SnapFrequencyTest, MovesFrequenciesOntoWholeGridSteps) {
    struct Case {
        double hertz;
        double drawnAt;
        int point;
    };
    const Case cases[] = {
        {1000, 1001, 303}, {100, 99, 151},     {20000, 19998, 500}, {24000, 24000, 512},
        {5, 10, 0},        {1, 10, 0},         {0, 10, 0},          {30000, 30147, 527},
        {10, 10, 0},       {999.6, 1001, 303},
    };
    for (const Case& c : cases) {
        const GridSnap snap = SnapFrequency(c.hertz);
        EXPECT_EQ(snap.frequency, c.drawnAt) << c.hertz;
        EXPECT_EQ(snap.point, c.point) << c.hertz;
    }
}

TEST(SnapFrequencyTest, AbsurdFrequenciesStayInRange) {
    for (double hertz : {-1.0, -1e9, 65535.0, 2147483647.0, 1e300, std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        const GridSnap snap = SnapFrequency(hertz);
        EXPECT_GE(snap.point, 0) << hertz;
        EXPECT_GE(snap.frequency, 10.0) << hertz;
    }
    EXPECT_EQ(SnapFrequency(-1).point, 0);
    EXPECT_EQ(SnapFrequency(std::numeric_limits<double>::quiet_NaN()).point, 0);
}

// ---------------------------------------------------------------------------
// Bin spacing.

TEST(BinOmegaTest, PeaksSpreadEvenlyShelvesAndPassFiltersSqueezeIntoTheMiddle) {
    for (SectionFamily f :
         {SectionFamily::Peaking, SectionFamily::Shelf, SectionFamily::HighPass, SectionFamily::LowPass}) {
        EXPECT_DOUBLE_EQ(BinOmega(f, 256), kPi / 2);
    }
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Peaking, 0), 0.0);
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Peaking, 100), 100 * kPi / 512);
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Peaking, 512), kPi);

    // Shelves: 0 .. pi over bins 120 .. 392; pi/512 and 511 pi/512 outside.
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Shelf, 119), kPi / 512);
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Shelf, 0), kPi / 512);
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Shelf, 120), 0.0);
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Shelf, 188), kPi / 4);
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Shelf, 392), kPi);
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Shelf, 393), 511 * kPi / 512);
    EXPECT_DOUBLE_EQ(BinOmega(SectionFamily::Shelf, 512), 511 * kPi / 512);

    // Pass filters: the sweep starts after bin 140 and reaches pi at 372.
    for (SectionFamily f : {SectionFamily::HighPass, SectionFamily::LowPass}) {
        EXPECT_DOUBLE_EQ(BinOmega(f, 140), kPi / 512);
        EXPECT_DOUBLE_EQ(BinOmega(f, 141), 256.0 / 116 * kPi / 512);
        EXPECT_DOUBLE_EQ(BinOmega(f, 372), kPi);
        EXPECT_DOUBLE_EQ(BinOmega(f, 373), 511 * kPi / 512);
    }
    for (int j = 0; j <= 512; ++j) {
        for (SectionFamily f : {SectionFamily::Peaking, SectionFamily::Shelf, SectionFamily::HighPass}) {
            EXPECT_NEAR(BinOmega(f, j), eqref::BinOmega(eqref::SpacingOf(f), j), 1e-12) << j;
        }
    }
}

// ---------------------------------------------------------------------------
// Guards: bins without a logarithm repeat the bin before them.

TEST(EvaluateBinsTest, LowPassZeroAtPiRepeatsThePreviousBin) {
    for (int code : {4, 201, 202, 203, 204, 205, 206}) {
        const BandSection s = DesignBand(code, 0, 1);
        const BinLevels bins = EvaluateBins(s);
        // Bin 372 sits at pi, where the low pass has its double zero.
        EXPECT_EQ(bins[372], bins[371]) << code;
        EXPECT_TRUE(std::isfinite(bins[372])) << code;
    }
}

TEST(EvaluateBinsTest, ZeroTermsInEveryFamilyRepeatThePreviousBin) {
    // A double zero at w = 0 (numerator (1 - z^-1)^2): peaks meet it at bin
    // 0, which then reads 0 dB; shelves meet it at bin 120.
    BandSection s;
    s.biquad = Biquad{1, 0, 0.25f, 1, -2, 1};
    s.family = SectionFamily::Peaking;
    BinLevels bins = EvaluateBins(s);
    EXPECT_EQ(bins[0], 0.0f);
    EXPECT_TRUE(std::isfinite(bins[1]));
    EXPECT_NE(bins[1], 0.0f);

    s.family = SectionFamily::Shelf;
    bins = EvaluateBins(s);
    EXPECT_EQ(bins[120], bins[119]);

    // A low-pass numerator in the high-pass family: its zero at pi (bin 372)
    // has no guard of its own and repeats bin 371 like the low pass does.
    s.family = SectionFamily::HighPass;
    s.biquad = Biquad{1, 0, 0.25f, 1, 2, 1};
    bins = EvaluateBins(s);
    EXPECT_EQ(bins[372], bins[371]);

    // A denominator that vanishes at w = 0 as well.
    s.family = SectionFamily::Peaking;
    s.biquad = Biquad{1, -2, 1, 1, 0, 0};
    bins = EvaluateBins(s);
    EXPECT_EQ(bins[0], 0.0f);
    EXPECT_TRUE(std::isfinite(bins[1]));
}

TEST(EvaluateBinsTest, OverflowedOrNanSectionsGiveFiniteLevels) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (SectionFamily f :
         {SectionFamily::Peaking, SectionFamily::Shelf, SectionFamily::HighPass, SectionFamily::LowPass}) {
        for (const Biquad& q : {Biquad{1, 0, 1, inf, 0, -inf}, Biquad{nan, nan, nan, nan, nan, nan},
                                Biquad{0, 0, 0, 0, 0, 0}, Biquad{-1, 0, 0, 1, 0, 0}}) {
            const BinLevels bins = EvaluateBins(BandSection{f, q});
            for (float level : bins) ASSERT_EQ(level, 0.0f);  // nothing usable: 0 dB from bin 0 on
        }
    }
}

// ---------------------------------------------------------------------------
// Placing the bins.

TEST(PlaceBinsTest, CentreBinLandsOnTheGridPointAndTheEndsRepeat) {
    BinLevels bins{};
    for (int j = 0; j < kBinCount; ++j) bins[std::size_t(j)] = float(j);  // each bin shows its own number
    BandResponse r{};

    PlaceBins(bins, 303, r);
    EXPECT_EQ(r[303], 256.0f);
    EXPECT_EQ(r[302], 255.0f);
    EXPECT_EQ(r[512], 256.0f + 209);
    EXPECT_EQ(r[47], 0.0f);
    EXPECT_EQ(r[46], 0.0f);  // past bin 0: bin 0 again
    EXPECT_EQ(r[0], 0.0f);

    // A band at 10 Hz: points 0 .. 255 take bins 256 .. 511, then bin 511.
    PlaceBins(bins, 0, r);
    for (int p = 0; p <= 255; ++p) EXPECT_EQ(r[std::size_t(p)], float(256 + p)) << p;
    for (int p = 256; p <= 512; ++p) EXPECT_EQ(r[std::size_t(p)], 511.0f) << p;

    // Beyond the grid only the lower walk shows: 527 puts bin 241 on 512.
    PlaceBins(bins, 527, r);
    EXPECT_EQ(r[512], 241.0f);
    EXPECT_EQ(r[271], 0.0f);
    EXPECT_EQ(r[272], 1.0f);

    // Far beyond: everything is bin 0; bin 512 is never placed.
    PlaceBins(bins, 65536, r);
    for (float level : r) EXPECT_EQ(level, 0.0f);
    PlaceBins(bins, -300, r);
    for (float level : r) EXPECT_EQ(level, 511.0f);
}

// ---------------------------------------------------------------------------
// Whole bands on the grid.

TEST(EvaluateBandTest, ParametricPeakSitsOnItsGridPointAndFallsOffSymmetrically) {
    const BandResponse r = EvaluateBand(Band(0, 1000, 12, 4));
    EXPECT_NEAR(r[303], 12.0f, 1e-4);
    for (int p = 0; p <= 512; ++p) EXPECT_LE(r[std::size_t(p)], r[303]) << p;
    for (int k = 1; k <= 209; ++k) EXPECT_NEAR(r[std::size_t(303 - k)], r[std::size_t(303 + k)], 1e-4) << k;
    EXPECT_LT(r[303 - 50], 1.0f);
}

TEST(EvaluateBandTest, LowShelfHoldsItsEndLevelsBeyond136Points) {
    const EqBand shelf = Band(1, 1000, 6, 1);
    const BandResponse r = EvaluateBand(shelf);
    const BinLevels bins = EvaluateBins(DesignBand(1, 6, 1));
    const int g = 303;
    for (int p = 0; p < g - 136; ++p) EXPECT_EQ(r[std::size_t(p)], bins[0]) << p;
    for (int p = g + 137; p <= 512; ++p) EXPECT_EQ(r[std::size_t(p)], bins[511]) << p;
    EXPECT_NEAR(bins[0], 6.0f, 0.01);   // near w = 0
    EXPECT_NEAR(bins[511], 0.0f, 0.01);  // near w = pi
    EXPECT_NEAR(r[std::size_t(g - 136)], 6.0f, 1e-4);  // bin 120 is w = 0 itself
    EXPECT_NEAR(bins[0], eqref::LevelAt(DesignBand(1, 6, 1).biquad, kPi / 512), 1e-4);
}

TEST(EvaluateBandTest, HighPassHoldsItsDeepLowEndFrom116PointsBelow) {
    const BandSection s = DesignBand(3, 0, 1);
    const BandResponse r = EvaluateBand(Band(3, 1000, 0, 1));
    const float low = float(eqref::LevelAt(s.biquad, kPi / 512));
    EXPECT_LT(low, -80.0f);
    for (int p = 0; p <= 303 - 116; ++p) EXPECT_NEAR(r[std::size_t(p)], low, 1e-3) << p;
    EXPECT_GT(r[303 - 115], low + 1.0f);
    EXPECT_NEAR(r[303], eqref::LevelAt(s.biquad, kPi / 2), 1e-4);
}

TEST(EvaluateBandTest, NarrowDeepCutReachesItsDepthAtTheCentre) {
    // The deepest, narrowest cut: single precision would lose this notch.
    for (int qi : {90, 100, 107, 109}) {
        const float q = float(QTableValue(qi));
        const BandResponse r = EvaluateBand(Band(0, 2000, -30, q));
        const int g = SnapFrequency(2000).point;
        EXPECT_NEAR(r[std::size_t(g)], -30.0f, 1e-3) << q;
        EXPECT_NEAR(r[std::size_t(g - 1)], eqref::LevelAt(DesignBand(0, -30, q).biquad, 255 * kPi / 512), 1e-3);
    }
}

// ---------------------------------------------------------------------------
// The combined curve.

TEST(EvaluateEqTest, FiveFlatBandsGiveZeroEverywhere) {
    ParamStore store;
    for (int b = 0; b < kBandsPerMic; ++b)
        for (int slot = 0; slot < kSlotsPerBand; ++slot) store.SetShown(BandAddress(0, b, slot), EqBandDefault(b, slot));
    auto out = std::make_unique<EqResponse>();
    EvaluateEq(store, 0, *out);
    for (float level : out->combined) EXPECT_EQ(level, 0.0f);

    EqBands flat;
    for (int b = 0; b < kBandsPerMic; ++b) flat[std::size_t(b)] = Band(10 + b, 100.0f * (b + 1), 12, 4);
    EvaluateEq(flat, *out);
    for (float level : out->combined) EXPECT_EQ(level, 0.0f);
}

TEST(EvaluateEqTest, CombinedCurveIsTheSingleFloatSumInBandOrder) {
    const EqBands bands = {Band(0, 1000, 12, 4), Band(1, 80, -6.4f, 0.71f), Band(2, 9000, 3.2f, 1.3f),
                           Band(3, 40, 0, 0.5f), Band(204, 15000, 0, 1)};
    auto out = std::make_unique<EqResponse>();
    EvaluateEq(bands, *out);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        EXPECT_EQ(out->bands[i].response, EvaluateBand(bands[i])) << i;
        EXPECT_EQ(out->bands[i].snap, SnapFrequency(bands[i].frequency));
        EXPECT_EQ(out->bands[i].section, DesignBand(bands[i].type, bands[i].gain, bands[i].q));
        EXPECT_EQ(out->bands[i].band.type, bands[i].type);
    }
    for (std::size_t p = 0; p < out->combined.size(); ++p) {
        float sum = 0.0f;
        for (const BandCurve& c : out->bands) sum += c.response[p];
        EXPECT_EQ(out->combined[p], sum) << p;
    }
    EXPECT_EQ(out->bands[0].snap.point, 303);
}

TEST(EvaluateEqTest, MicrophoneTwoIsReadFromItsOwnBands) {
    ParamStore store;
    for (int b = 0; b < kBandsPerMic; ++b)
        for (int slot = 0; slot < kSlotsPerBand; ++slot) store.SetShown(BandAddress(0, b, slot), EqBandDefault(b, slot));
    for (int b = 0; b < kBandsPerMic; ++b)
        for (int slot = 0; slot < kSlotsPerBand; ++slot) store.SetShown(BandAddress(1, b, slot), EqBandDefault(b, slot));
    store.SetShown(BandAddress(1, 2, kSlotGain), 210);  // +12 dB at 229 Hz
    auto mic1 = std::make_unique<EqResponse>();
    auto mic2 = std::make_unique<EqResponse>();
    EvaluateEq(store, 0, *mic1);
    EvaluateEq(store, 1, *mic2);
    EXPECT_EQ(mic1->combined[std::size_t(SnapFrequency(229).point)], 0.0f);
    EXPECT_NEAR(mic2->combined[std::size_t(SnapFrequency(229).point)], 12.0f, 1e-4);
}

// Nothing that a device or a preset file can store makes the curve
// non-finite: odd codes, Q indices off the table, frequencies of 0 .. 65535
// and beyond, gain steps far outside 0 .. 210.
TEST(EvaluateEqTest, ExtremeStoredValuesNeverGiveNanOrInfinity) {
    const int types[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 99, 100, 103, 106, 150, 200, 203, 206, 255,
                         256, 1000, INT_MIN, INT_MAX};
    const int qs[] = {-5, 250, 0, 109, INT_MIN, INT_MAX};
    const int frequencies[] = {0, 1, 65535, -1, INT_MIN, INT_MAX};
    const int gains[] = {0, 65535, 210, -1, -65535, INT_MIN, INT_MAX};
    ParamStore store;
    auto out = std::make_unique<EqResponse>();
    int band = 0;
    for (int type : types) {
        for (int q : qs) {
            for (int frequency : frequencies) {
                for (int gain : gains) {
                    store.SetShown(BandAddress(1, band, kSlotType), type);
                    store.SetShown(BandAddress(1, band, kSlotFrequency), frequency);
                    store.SetShown(BandAddress(1, band, kSlotGain), gain);
                    store.SetShown(BandAddress(1, band, kSlotQ), q);
                    store.SetShown(BandAddress(1, band, kSlotQOther), q);
                    band = (band + 1) % kBandsPerMic;
                    if (band != 0) continue;
                    EvaluateEq(store, 1, *out);
                    for (const BandCurve& c : out->bands)
                        for (float level : c.response) ASSERT_TRUE(std::isfinite(level)) << c.band.type;
                    for (float level : out->combined) ASSERT_TRUE(std::isfinite(level)) << type;
                }
            }
        }
    }
}

TEST(EvaluateEqTest, NonFiniteBandFieldsNeverGiveNanOrInfinity) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int type : {0, 1, 2, 3, 4, 10, 203}) {
        for (float frequency : {nan, inf, -inf, 0.0f, 1e30f}) {
            for (float gain : {nan, inf, -inf, 1e30f, -1e30f}) {
                for (float q : {nan, inf, -inf, 0.0f, 1e30f}) {
                    const BandResponse r = EvaluateBand(Band(type, frequency, gain, q));
                    for (float level : r) ASSERT_TRUE(std::isfinite(level)) << type << ' ' << gain << ' ' << q;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tr640
