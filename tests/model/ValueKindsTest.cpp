// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/DecimalFormat.h"
#include "model/ParamCatalogue.h"
#include "model/ValueKinds.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tr640 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(RoundingTest, TruncAndNearestDisagreeWhereTheyShould) {
    EXPECT_EQ(Trunc(2.9), 2);
    EXPECT_EQ(Trunc(-2.9), -2);
    EXPECT_EQ(Nearest(2.9), 3);
    EXPECT_EQ(Nearest(-2.9), -3);
    // Halves go to the even neighbour, on both sides of zero.
    EXPECT_EQ(Nearest(2.5), 2);
    EXPECT_EQ(Nearest(3.5), 4);
    EXPECT_EQ(Nearest(-2.5), -2);
    EXPECT_EQ(Nearest(-3.5), -4);
}

TEST(RoundingTest, OutOfRangeInputsSaturate) {
    EXPECT_EQ(Trunc(1e300), INT_MAX);
    EXPECT_EQ(Nearest(kInf), INT_MAX);
    EXPECT_EQ(Trunc(kNaN), 0);
    EXPECT_EQ(Nearest(kNaN), 0);
}

TEST(FormatFixedTest, RoundsTheDecimalDigitsHalfAwayFromZero) {
    // 12.25 and 0.15 lie just below the half in binary; the digits decide.
    EXPECT_EQ(FormatFixed(12.25, 1), "12.3");
    EXPECT_EQ(FormatFixed(0.15, 1), "0.2");
    EXPECT_EQ(FormatFixed(0.05, 1), "0.1");
    EXPECT_EQ(FormatFixed(1.005, 2), "1.01");
    EXPECT_EQ(FormatFixed(-3.5, 0), "-4");
    // The half-even integer rounding is a different operation.
    EXPECT_EQ(Nearest(2.5), 2);
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.1f", 12.25);
    EXPECT_STREQ(printed, "12.2");
}

TEST(FormatFixedTest, ShapeOfTheText) {
    EXPECT_EQ(FormatFixed(0, 0), "0");
    EXPECT_EQ(FormatFixed(0, 1), "0.0");
    EXPECT_EQ(FormatFixed(-0.04, 1), "0.0");
    EXPECT_EQ(FormatFixed(-0.4, 0), "0");
    EXPECT_EQ(FormatFixed(999.95, 1), "1000.0");
    EXPECT_EQ(FormatFixed(1e20, 0), "100000000000000000000");
    EXPECT_EQ(FormatFixed(kNaN, 1), "NAN");
    EXPECT_EQ(FormatFixed(-kInf, 0), "-INF");
}

TEST(QTableTest, TextsAndNumbers) {
    EXPECT_EQ(QTableText(0), "0.1");
    EXPECT_EQ(QTableText(109), "128.00");
    for (int i = 1; i < kQTableSize; ++i) {
        const std::string_view text = QTableText(i);
        EXPECT_EQ(text.size() - text.find('.'), 3u) << i;
        EXPECT_GT(QTableValue(i), QTableValue(i - 1)) << i;
    }
    EXPECT_DOUBLE_EQ(QTableValue(65), 10.1);
    // Indices outside the table read as its nearer end.
    EXPECT_EQ(QTableText(250), "128.00");
    EXPECT_EQ(QTableText(-3), "0.1");
    EXPECT_DOUBLE_EQ(QTableValue(INT_MAX), 128.0);
}

TEST(FrequencyScaleTest, EndsAndRoundTrip) {
    EXPECT_DOUBLE_EQ(kScaleDecades, std::log10(24000.0) - 1);
    EXPECT_NEAR(StepToFrequency(0), 10.0, 1e-9);
    EXPECT_NEAR(StepToFrequency(512), 24000.0, 1e-6);
    EXPECT_NEAR(StepToFrequency(256), 489.9, 0.05);
    EXPECT_NEAR(StepToFrequency(1) / StepToFrequency(0), 1.0153177, 1e-7);
    EXPECT_DOUBLE_EQ(FrequencyToStep(0.5), FrequencyToStep(1));
    for (double f : {1.0, 20.0, 105.0, 1000.0, 20000.0, 24000.0}) {
        EXPECT_NEAR(StepToFrequency(FrequencyToStep(f)), f, f * 1e-12);
    }
}

TEST(EqDefaultsTest, EveryBandSlot) {
    const int frequencies[] = {30, 66, 229, 976, 4393};
    for (int b = 0; b < kBandsPerMic; ++b) {
        EXPECT_EQ(EqBandDefault(b, kSlotType), 0);
        EXPECT_EQ(EqBandDefault(b, kSlotFrequency), frequencies[b]);
        EXPECT_EQ(EqBandDefault(b, kSlotGain), 150);
        EXPECT_EQ(EqBandDefault(b, kSlotQ), 49);
        EXPECT_EQ(EqBandDefault(b, kSlotQOther), 25);
    }
}

TEST(CompressorPointTest, PacksBothLevelsWithOffset) {
    EXPECT_EQ(EncodeCompressorPoint(0, 0), 51400);
    EXPECT_EQ(EncodeCompressorPoint(-40, -40), 160 * 256 + 160);
    for (int in = -90; in <= 6; in += 3) {
        for (int out = -113; out <= 15; out += 4) {
            EXPECT_EQ(DecodeCompressorPoint(EncodeCompressorPoint(in, out)), (CompressorPoint{in, out}));
        }
    }
    // Division and remainder truncate toward zero on a negative raw value.
    EXPECT_EQ(DecodeCompressorPoint(-1), (CompressorPoint{-200, -201}));
    EXPECT_EQ(EncodeCompressorPoint(INT_MAX, 0), INT32_MAX);
}

TEST(TextToRawTest, GainAndQAreConverted) {
    EXPECT_DOUBLE_EQ(TextToRaw(kKindBandGain, -3.5), 132);
    EXPECT_DOUBLE_EQ(TextToRaw(kKindBandGain, 20), 250);
    EXPECT_DOUBLE_EQ(TextToRaw(kKindBandGain, 1e300), INT_MAX);
    EXPECT_DOUBLE_EQ(TextToRaw(kKindBandQ, 4.1), 50);
    EXPECT_DOUBLE_EQ(TextToRaw(kKindBandQ, 121.5), 109);
    EXPECT_DOUBLE_EQ(TextToRaw(kKindRelease, 9), 9);
    EXPECT_DOUBLE_EQ(TextToRaw(kKindBandFrequency, 1000.5), 1000.5);
}

// The field entry at an address, or the catalogue's first of a kind (none
// for a kind no field has).
const ParamEntry* Entry(int kind, int address) {
    if (address != 0) return FindFieldParam(static_cast<ParamAddress>(address));
    for (const ParamEntry& e : ParamCatalogue())
        if (e.format == ParamFormat::Kind && e.kind == kind) return &e;
    return nullptr;
}

class KindRuleTest : public ::testing::Test {
protected:
    KindRuleResult User(int kind, double x, Step step = Step::None, int address = 0) {
        return ApplyKindRule(KindRuleInput{Entry(kind, address), step, Source::User, x, activeMic}, store);
    }
    KindRuleResult Refresh(int kind, double x, int address = 0) {
        return ApplyKindRule(KindRuleInput{Entry(kind, address), Step::None, Source::Refresh, x, activeMic}, store);
    }
    // A typed Q as the field commits it: converted first, then the rule.
    KindRuleResult TypedQ(double q, int band, int typeValue) {
        const int typeAddress = BandAddress(activeMic, band, kSlotType);
        store.SetShown(typeAddress, typeValue);
        const int address = typeAddress + (typeValue == 0 ? kSlotQ : kSlotQOther);
        return User(kKindBandQ, TextToRaw(kKindBandQ, q), Step::None, address);
    }

    ParamStore store;
    int activeMic = 0;
};

TEST_F(KindRuleTest, BandFrequencyStepsByHertzThenAlongTheScale) {
    struct Case { double x; Step step; const char* text; int raw; };
    const Case cases[] = {
        {105, Step::Up, "106.0Hz", 106},   {106, Step::Up, "107.6Hz", 107},
        {106, Step::Down, "104.4Hz", 104}, {1000, Step::Up, "1015.3Hz", 1015},
        {20000, Step::Up, "20000.0Hz", 20000}, {20, Step::Down, "20.0Hz", 20},
        {25000, Step::None, "20000.0Hz", 20000}, {5, Step::None, "20.0Hz", 20},
        {1000.25, Step::None, "1000.3Hz", 1000}, {1e300, Step::None, "20000.0Hz", 20000},
    };
    for (const Case& c : cases) {
        const KindRuleResult r = User(kKindBandFrequency, c.x, c.step);
        EXPECT_EQ(r.text, c.text) << c.x;
        EXPECT_EQ(r.raw, c.raw) << c.x;
        EXPECT_TRUE(r.textChanged);
    }
}

TEST_F(KindRuleTest, FrequencyRefreshIsNotClamped) {
    EXPECT_EQ(Refresh(kKindBandFrequency, 1).text, "1.0Hz");
    EXPECT_EQ(Refresh(kKindCrossover, 50).text, "50.0Hz");
}

TEST_F(KindRuleTest, CrossoverRangeDependsOnTheField) {
    const KindRuleResult low = User(kKindCrossover, 50, Step::None, kAddrLowCrossover);
    EXPECT_EQ(low.text, "80.0Hz");
    EXPECT_EQ(low.raw, 80);
    EXPECT_EQ(User(kKindCrossover, 200, Step::Up, kAddrLowCrossover).text, "200.0Hz");
    EXPECT_EQ(User(kKindCrossover, 150, Step::Up, kAddrLowCrossover).text, "152.3Hz");
    const KindRuleResult high = User(kKindCrossover, 100, Step::None, kAddrHighCrossover);
    EXPECT_EQ(high.text, "200.0Hz");
    EXPECT_EQ(high.raw, 200);
}

TEST_F(KindRuleTest, OnlyFrequencyKindsTakeCurrentFieldAndOnlyCrossoversMirror) {
    for (Source source : {Source::User, Source::Refresh}) {
        for (int kind : {2, 3, 4, 8, 9, 16, 17, 0, 5}) {
            const KindRuleResult r =
                ApplyKindRule(KindRuleInput{Entry(kind, 0), Step::None, source, 100, 0}, store);
            EXPECT_EQ(r.becomesCurrentField, kind == 2 || kind == 9) << kind;
            EXPECT_EQ(r.mirrorCrossovers, kind == 9) << kind;
        }
    }
}

TEST_F(KindRuleTest, GainIsRoundedToEvenAndClampedOnlyForUser) {
    const KindRuleResult typed = User(kKindBandGain, TextToRaw(kKindBandGain, -3.5));
    EXPECT_EQ(typed.raw, 132);
    EXPECT_EQ(typed.text, "-3.6dB");
    const KindRuleResult top = User(kKindBandGain, TextToRaw(kKindBandGain, 20));
    EXPECT_EQ(top.raw, 210);
    EXPECT_EQ(top.text, "12.0dB");
    EXPECT_EQ(User(kKindBandGain, 0, Step::Down).text, "-30.0dB");
    EXPECT_EQ(User(kKindBandGain, 140.5).raw, 140);
    EXPECT_EQ(Refresh(kKindBandGain, 250).text, "20.0dB");
}

TEST_F(KindRuleTest, TypedQDependsOnTheBandType) {
    EXPECT_EQ(TypedQ(4.1, 2, 0).raw, 50);
    EXPECT_EQ(TypedQ(4.1, 2, 0).text, "4.20");
    for (int typeValue : {1, 10, 11, 14}) {
        const KindRuleResult r = TypedQ(4.1, 2, typeValue);
        EXPECT_EQ(r.raw, 30) << typeValue;
        EXPECT_EQ(r.text, "1.30") << typeValue;
    }
    EXPECT_EQ(TypedQ(1.05, 0, 0).raw, 26);
    EXPECT_EQ(TypedQ(1.05, 0, 0).text, "1.06");
    EXPECT_EQ(TypedQ(0, 4, 0).text, "0.1");
    EXPECT_EQ(TypedQ(-2, 4, 3).raw, 0);
    EXPECT_EQ(TypedQ(500, 1, 0).raw, 109);
    EXPECT_EQ(TypedQ(500, 1, 0).text, "128.00");
    activeMic = 1;
    EXPECT_EQ(TypedQ(4.1, 3, 2).raw, 30);
    EXPECT_EQ(TypedQ(4.1, 3, 0).raw, 50);
}

TEST_F(KindRuleTest, QStepsStopAtTheLimit) {
    const int q = BandAddress(0, 1, kSlotQ);
    EXPECT_EQ(User(kKindBandQ, 109, Step::Up, q).raw, 109);
    EXPECT_EQ(User(kKindBandQ, 0, Step::Down, q).text, "0.1");
    EXPECT_EQ(User(kKindBandQ, 49, Step::Up, q).text, "4.20");
    // A microphone 1 band while microphone 2 is shown still reads its own type.
    activeMic = 1;
    store.SetShown(BandAddress(0, 1, kSlotType), 12);
    EXPECT_EQ(User(kKindBandQ, 60, Step::None, BandAddress(0, 1, kSlotQOther)).raw, 30);
}

TEST_F(KindRuleTest, QRefreshReadsTheDeviceImage) {
    const int address = BandAddress(1, 0, kSlotQ);
    store.SetDevice(address, 57);
    const KindRuleResult r = Refresh(kKindBandQ, 3, address);
    EXPECT_EQ(r.raw, 57);
    EXPECT_DOUBLE_EQ(r.x, 57);
    EXPECT_EQ(r.text, "6.30");
    // Stored indices beyond the table show its nearer end and stay as stored.
    store.SetDevice(address, 250);
    EXPECT_EQ(Refresh(kKindBandQ, 0, address).text, "128.00");
    EXPECT_EQ(Refresh(kKindBandQ, 0, address).raw, 250);
    store.SetDevice(address, -3);
    EXPECT_EQ(Refresh(kKindBandQ, 0, address).text, "0.1");
}

TEST_F(KindRuleTest, Percent) {
    EXPECT_EQ(User(kKindPercent, 0, Step::Down).text, "0%");
    EXPECT_EQ(User(kKindPercent, 0, Step::Down).raw, 0);
    EXPECT_EQ(User(kKindPercent, 99.5).raw, 99);
    const KindRuleResult r = Refresh(kKindPercent, 250);
    EXPECT_EQ(r.text, "200%");
    EXPECT_DOUBLE_EQ(r.x, 200);
}

TEST_F(KindRuleTest, ReleaseIsShownAsTwiceTheMultiple) {
    const KindRuleResult typed = User(kKindRelease, 9);
    EXPECT_EQ(typed.text, "Atk x 9");
    EXPECT_EQ(typed.raw, 4);
    const KindRuleResult up = User(kKindRelease, 9, Step::Up);
    EXPECT_EQ(up.text, "Atk x 11");
    EXPECT_EQ(up.raw, 6);
    EXPECT_EQ(User(kKindRelease, 40).text, "Atk x 32");
    EXPECT_EQ(Refresh(kKindRelease, 0).text, "Atk x 2");
}

TEST_F(KindRuleTest, Time) {
    EXPECT_EQ(User(kKindTime, 12.5).text, "12.5ms");
    EXPECT_EQ(User(kKindTime, 12.5).raw, 12);
    EXPECT_EQ(User(kKindTime, 200, Step::Up).text, "200.0ms");
    EXPECT_EQ(Refresh(kKindTime, 500).text, "500.0ms");
}

TEST_F(KindRuleTest, UnknownKindChangesNothing) {
    const KindRuleResult r = User(5, 7.9, Step::Up);
    EXPECT_FALSE(r.textChanged);
    EXPECT_DOUBLE_EQ(r.x, 7.9);
    EXPECT_EQ(r.raw, 7);
}

TEST_F(KindRuleTest, NonFiniteValuesStayDefined) {
    EXPECT_EQ(User(kKindBandFrequency, kInf, Step::Up).text, "20000.0Hz");
    EXPECT_EQ(User(kKindPercent, -kInf).raw, 0);
    EXPECT_EQ(User(kKindBandQ, kNaN, Step::None, BandAddress(0, 0, kSlotQ)).text, "0.1");
    EXPECT_EQ(Refresh(kKindTime, 1e300).raw, INT_MAX);
}

}  // namespace
}  // namespace tr640
