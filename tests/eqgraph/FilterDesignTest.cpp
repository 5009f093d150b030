// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/FilterDesign.h"
#include "eqgraph/FrequencyResponse.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"

#include "eqgraph/EqReference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tr640 {
namespace {

// Float coefficients against a double design: a few roundings of a float.
constexpr double kCoefficientTolerance = 1e-6;

void SetBand(ParamStore& store, int mic, int band, int type, int frequency, int gain, int qType0, int qOther) {
    store.SetShown(BandAddress(mic, band, kSlotType), type);
    store.SetShown(BandAddress(mic, band, kSlotFrequency), frequency);
    store.SetShown(BandAddress(mic, band, kSlotGain), gain);
    store.SetShown(BandAddress(mic, band, kSlotQ), qType0);
    store.SetShown(BandAddress(mic, band, kSlotQOther), qOther);
}

bool AllZero(const BandResponse& r) {
    for (float level : r)
        if (level != 0.0f) return false;
    return true;
}

EqBand Band(int type, float frequency, float gain, float q) {
    EqBand b;
    b.type = type;
    b.frequency = frequency;
    b.gain = gain;
    b.q = q;
    return b;
}

// ---------------------------------------------------------------------------
// Loading bands from the shown image.

TEST(LoadEqBandTest, ReadsEachSlotOfBothMicrophones) {
    ParamStore store;
    SetBand(store, 0, 2, 1, 1000, 180, 49, 25);
    SetBand(store, 1, 4, 4, 8000, 132, 3, 70);

    const EqBand mic1 = LoadEqBand(store, 0, 2);
    EXPECT_EQ(mic1.type, 1);
    EXPECT_EQ(mic1.frequency, 1000.0f);
    EXPECT_FLOAT_EQ(mic1.gain, 6.0f);
    EXPECT_EQ(mic1.qIndex, 25);  // a shelf reads slot 4
    EXPECT_EQ(mic1.q, 1.0f);
    EXPECT_EQ(mic1.frequencyAddress, 0x010D);  // 2 + 5 * 2 + 1
    EXPECT_EQ(mic1.gainAddress, 0x010E);
    EXPECT_EQ(mic1.qAddress, 0x010F);

    // Microphone 2's bands start at index 27.
    const EqBand mic2 = LoadEqBands(store, 1)[4];
    EXPECT_EQ(mic2.type, 4);
    EXPECT_EQ(mic2.frequency, 8000.0f);
    EXPECT_FLOAT_EQ(mic2.gain, -3.6f);
    EXPECT_EQ(mic2.qIndex, 70);
    EXPECT_EQ(mic2.q, 13.5f);
    EXPECT_EQ(mic2.frequencyAddress, 0x0130);
    EXPECT_EQ(mic2.qAddress, 0x0132);
}

TEST(LoadEqBandTest, FrequencyZeroReadsAsTwentyHertzAndGainStepsMapToDecibels) {
    ParamStore store;
    SetBand(store, 0, 0, 0, 0, 150, 49, 25);
    SetBand(store, 0, 1, 0, 1, 0, 49, 25);
    SetBand(store, 0, 2, 0, 20000, 210, 49, 25);
    const EqBands bands = LoadEqBands(store, 0);
    EXPECT_EQ(bands[0].frequency, 20.0f);
    EXPECT_EQ(bands[0].gain, 0.0f);
    EXPECT_EQ(bands[1].frequency, 1.0f);  // only an exact 0 is replaced
    EXPECT_EQ(bands[1].gain, -30.0f);
    EXPECT_EQ(bands[2].frequency, 20000.0f);
    EXPECT_EQ(bands[2].gain, 12.0f);
}

TEST(LoadEqBandTest, TheQSlotFollowsTheStoredCodeBypassIncluded) {
    ParamStore store;
    SetBand(store, 0, 0, 0, 1000, 150, 49, 25);   // parametric: slot 3
    SetBand(store, 0, 1, 10, 1000, 150, 49, 25);  // bypassed parametric: slot 4
    SetBand(store, 0, 2, 3, 1000, 150, 49, 25);   // high pass: slot 4
    const EqBands bands = LoadEqBands(store, 0);
    EXPECT_EQ(bands[0].q, 4.0f);
    EXPECT_EQ(bands[1].qIndex, 25);
    EXPECT_EQ(bands[1].q, 1.0f);
    EXPECT_EQ(bands[2].q, 1.0f);
}

TEST(LoadEqBandTest, QIndexOutsideTheTableReadsAsItsNearerEnd) {
    ParamStore store;
    SetBand(store, 0, 0, 0, 1000, 150, 250, 25);
    SetBand(store, 0, 1, 0, 1000, 150, -5, 25);
    const EqBands bands = LoadEqBands(store, 0);
    EXPECT_EQ(bands[0].qIndex, 250);  // kept as stored
    EXPECT_EQ(bands[0].q, 128.0f);
    EXPECT_EQ(bands[1].q, 0.1f);
    // And the design then treats 128 as it treats the table's own 128.
    EXPECT_EQ(EvaluateBand(bands[0]), EvaluateBand(Band(0, 1000, 0, 128.0f)));
}

// ---------------------------------------------------------------------------
// Families and the low byte of the code.

TEST(DesignBandTest, EachCodeRangeGetsItsFamily) {
    auto family = [](int code) { return DesignBand(code, 0, 1).family; };
    EXPECT_EQ(family(0), SectionFamily::Peaking);
    EXPECT_EQ(family(1), SectionFamily::Shelf);
    EXPECT_EQ(family(2), SectionFamily::Shelf);
    EXPECT_EQ(family(3), SectionFamily::HighPass);
    EXPECT_EQ(family(4), SectionFamily::LowPass);
    for (int code : {5, 10, 11, 12, 13, 14, 50, 99}) EXPECT_EQ(family(code), SectionFamily::Peaking) << code;
    for (int code : {100, 150, 199}) EXPECT_EQ(family(code), SectionFamily::HighPass) << code;
    for (int code : {200, 230, 255}) EXPECT_EQ(family(code), SectionFamily::LowPass) << code;
    // Only the low byte counts.
    EXPECT_EQ(DesignBand(256 + 2, 6, 1), DesignBand(2, 6, 1));
    EXPECT_EQ(DesignBand(-1, 6, 1), DesignBand(255, 6, 1));
    EXPECT_EQ(DesignBand(99, 6, 1).family, SectionFamily::Peaking);
}

// ---------------------------------------------------------------------------
// Designs against the textbook formulas.

TEST(DesignBandTest, PeakingMatchesTheTextbookSectionWithTheWidenedQ) {
    for (float gain : {-30.0f, -6.2f, 0.0f, 3.0f, 12.0f}) {
        for (int qi : {0, 13, 25, 49, 80, 107}) {
            const float q = float(QTableValue(qi));
            const BandSection s = DesignBand(0, gain, q);
            EXPECT_LT(eqref::RelativeDistance(s.biquad, eqref::Peak(gain, q)), kCoefficientTolerance)
                << "gain " << gain << " q " << q;
        }
    }
}

TEST(DesignBandTest, TheTwoHighestQsDrawAs115And116) {
    for (float gain : {-30.0f, 6.0f, 12.0f}) {
        EXPECT_EQ(DesignBand(0, gain, 121.0f), DesignBand(0, gain, 115.0f));
        EXPECT_EQ(DesignBand(0, gain, 128.0f), DesignBand(0, gain, 116.0f));
        EXPECT_NE(DesignBand(0, gain, 114.0f), DesignBand(0, gain, 115.0f));
        EXPECT_LT(eqref::RelativeDistance(DesignBand(0, gain, 114.0f).biquad, eqref::Peak(gain, 114)),
                  kCoefficientTolerance);
        EXPECT_EQ(EvaluateBand(Band(0, 1000, gain, 121.0f)), EvaluateBand(Band(0, 1000, gain, 115.0f)));
    }
}

TEST(DesignBandTest, QAtOrBelowOneTenthDesignsAsOneTenth) {
    for (int code : {0, 1, 2, 3, 4, 104, 205}) {
        const BandSection tenth = DesignBand(code, 6, 0.1f);
        EXPECT_EQ(DesignBand(code, 6, 0.05f), tenth) << code;
        EXPECT_EQ(DesignBand(code, 6, 0.0f), tenth) << code;
        EXPECT_EQ(DesignBand(code, 6, -3.0f), tenth) << code;
        EXPECT_EQ(DesignBand(code, 6, std::numeric_limits<float>::quiet_NaN()), tenth) << code;
    }
    EXPECT_LT(eqref::RelativeDistance(DesignBand(0, 6, 0.05f).biquad, eqref::Peak(6, 0.1)), kCoefficientTolerance);
}

TEST(DesignBandTest, ShelvesTakeTheQAsSlopeCappedAtFourPlusAThousandth) {
    for (bool high : {false, true}) {
        const int code = high ? kFilterHighShelf : kFilterLowShelf;
        for (float gain : {-30.0f, -12.0f, 0.0f, 6.0f, 12.0f}) {
            EXPECT_LT(eqref::RelativeDistance(DesignBand(code, gain, 10.0f).biquad,
                                              eqref::ShelfWithSlope(high, gain, 4.001)),
                      kCoefficientTolerance);
            EXPECT_EQ(DesignBand(code, gain, 10.0f), DesignBand(code, gain, 4.0f));
            EXPECT_LT(eqref::RelativeDistance(DesignBand(code, gain, 1.0f).biquad,
                                              eqref::ShelfWithSlope(high, gain, 1.001)),
                      kCoefficientTolerance);
            EXPECT_LT(eqref::RelativeDistance(DesignBand(code, gain, 0.5f).biquad,
                                              eqref::ShelfWithSlope(high, gain, 0.501)),
                      kCoefficientTolerance);
        }
    }
}

TEST(DesignBandTest, PassVariantsUseTheirFixedShapesOrTheBandsQ) {
    const double q577 = 1 / std::sqrt(3.0), q707 = 1 / std::sqrt(2.0);
    struct Case {
        int code;
        eqref::Coefficients want;
    };
    const Case fixed[] = {
        {101, eqref::PassWithQ(true, q577)},  {102, eqref::PassWithQ(true, q707)},
        {106, eqref::BilinearHighPass(1.0)},  {109, eqref::BilinearHighPass(1.0)},
        {201, eqref::PassWithQ(false, q577)}, {202, eqref::PassWithQ(false, q707)},
        {203, eqref::BilinearLowPass(2 * std::cos(eqref::kPi / 8))},
        {206, eqref::PassWithQ(false, 1.414 / 2)}, {209, eqref::PassWithQ(false, 1.414 / 2)},
    };
    for (const Case& c : fixed) {
        for (float q : {0.1f, 1.0f, 4.0f, 128.0f}) {
            EXPECT_LT(eqref::RelativeDistance(DesignBand(c.code, 6, q).biquad, c.want), kCoefficientTolerance)
                << c.code << " q " << q;
        }
    }
    // Codes 3 and 4, and variants 3 to 5 of the high-pass and 4 and 5 of the
    // low-pass family, follow the band's Q, capped at 4, plus a thousandth.
    for (int code : {3, 103, 104, 105}) {
        EXPECT_LT(eqref::RelativeDistance(DesignBand(code, 0, 0.71f).biquad, eqref::PassWithQ(true, 0.711)),
                  kCoefficientTolerance);
        EXPECT_LT(eqref::RelativeDistance(DesignBand(code, 0, 13.5f).biquad, eqref::PassWithQ(true, 4.001)),
                  kCoefficientTolerance);
    }
    for (int code : {4, 204, 205}) {
        EXPECT_LT(eqref::RelativeDistance(DesignBand(code, 0, 1.3f).biquad, eqref::PassWithQ(false, 1.301)),
                  kCoefficientTolerance);
        EXPECT_LT(eqref::RelativeDistance(DesignBand(code, 0, 40.0f).biquad, eqref::PassWithQ(false, 4.001)),
                  kCoefficientTolerance);
    }
}

TEST(DesignBandTest, PassFiltersIgnoreTheGain) {
    for (int code : {3, 4, 101, 106, 203, 206}) {
        EXPECT_EQ(DesignBand(code, 12, 1), DesignBand(code, -30, 1)) << code;
        EXPECT_EQ(EvaluateBand(Band(code, 1000, 12, 1)), EvaluateBand(Band(code, 1000, -30, 1))) << code;
    }
}

TEST(DesignBandTest, FixedVariantsIgnoreTheBandsQ) {
    for (int code : {101, 102, 106, 109, 201, 202, 203, 206, 209}) {
        EXPECT_EQ(DesignBand(code, 0, 0.1f), DesignBand(code, 0, 4.0f)) << code;
        EXPECT_EQ(DesignBand(code, 0, 1.0f), DesignBand(code, 0, 128.0f)) << code;
    }
}

// ---------------------------------------------------------------------------
// Flat codes.

TEST(DesignBandTest, BypassedAndUnknownCodesDrawFlatWhateverTheGain) {
    for (int code : {5, 7, 10, 11, 12, 13, 14, 99}) {
        for (float gain : {-30.0f, 0.0f, 12.0f}) {
            EXPECT_TRUE(AllZero(EvaluateBand(Band(code, 1000, gain, 4)))) << code << " gain " << gain;
        }
    }
}

TEST(DesignBandTest, VariantZeroOfEitherPassFamilyIsTheFlatSection) {
    EXPECT_EQ(DesignBand(100, 6, 1).biquad, Biquad{});
    EXPECT_EQ(DesignBand(200, 6, 1).biquad, Biquad{});
    EXPECT_TRUE(AllZero(EvaluateBand(Band(100, 1000, 6, 1))));
    EXPECT_TRUE(AllZero(EvaluateBand(Band(200, 1000, 6, 1))));
}

// ---------------------------------------------------------------------------
// What the handles read.

TEST(HandleRulesTest, PassBandsSitOnZeroDecibelsAndHighCodesHaveNoHandle) {
    for (int code : {3, 4, 13, 14}) {
        EXPECT_TRUE(IsPassBand(code)) << code;
        EXPECT_EQ(HandleLevel(Band(code, 80, 9, 1)), 0.0f) << code;
    }
    for (int code : {0, 1, 2, 10, 11, 12}) {
        EXPECT_FALSE(IsPassBand(code)) << code;
        EXPECT_EQ(HandleLevel(Band(code, 80, 9, 1)), 9.0f) << code;  // bypassed bands keep their gain
    }
    EXPECT_TRUE(HasHandle(0));
    EXPECT_TRUE(HasHandle(99));
    EXPECT_FALSE(HasHandle(100));
    EXPECT_FALSE(HasHandle(203));
}

}  // namespace
}  // namespace tr640
