// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/EqFile.h"
#include "eqgraph/FrequencyResponse.h"
#include "model/ValueKinds.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tr640 {
namespace {

// A store whose microphone 1 holds the reset defaults.
ParamStore DefaultStore() {
    ParamStore store;
    for (int mic = 0; mic < 2; ++mic)
        for (int b = 0; b < kBandsPerMic; ++b)
            for (int slot = 0; slot < kSlotsPerBand; ++slot)
                store.SetBoth(BandAddress(mic, b, slot), EqBandDefault(b, slot));
    return store;
}

EqImportPlan Plan(std::string_view text, const ParamStore& store = DefaultStore()) {
    EqImportResult r = PlanEqImport(text, 0, store);
    EXPECT_TRUE(r.plan) << "refused at line " << (r.refusal ? r.refusal->line : -1) << " "
                        << (r.refusal ? r.refusal->token : "");
    return r.plan.value_or(EqImportPlan{});
}

EqRefusal Refusal(std::string_view text) {
    EqImportResult r = PlanEqImport(text, 0, DefaultStore());
    EXPECT_FALSE(r.plan);
    return r.refusal.value_or(EqRefusal{});
}

int QIndexOf(std::string_view text) {
    for (int i = 0; i < kQTableSize; ++i)
        if (QTableText(i) == text) return i;
    return -1;
}

// The "Generic" export of a room-measurement tool: header lines, columns
// padded with runs of spaces, unused slots as `None`.
constexpr char kGeneric[] =
    "Filter Settings file\n"
    "\n"
    "Room EQ V5.20\n"
    "Dated: 12-Mar-2025 21:14:05\n"
    "\n"
    "Notes:lectern mic, left seat\n"
    "\n"
    "Equaliser: Generic\n"
    "Average 1\n"
    "Filter  1: ON  PK       Fc   28.55 Hz  Gain  -4.30 dB  Q  4.914\n"
    "Filter  2: ON  PK       Fc   147.0 Hz  Gain  -7.90 dB  Q  2.100\n"
    "Filter  3: ON  None\n"
    "Filter  4: ON  PK       Fc    1,250 Hz  Gain   2.50 dB  Q  0.800\n"
    "Filter  5: ON  None\n"
    "Filter  6: ON  None\n";

TEST(EqFileImportTest, GenericExportSkipsHeaderAndNoneSlots) {
    const EqImportPlan plan = Plan(kGeneric);
    const auto& b = plan.bands;
    EXPECT_EQ(b[0].line, 10);
    EXPECT_EQ(b[0].type, kFilterParametric);
    EXPECT_EQ(b[0].frequency, 29);
    EXPECT_EQ(b[0].gainStep, 128);  // -4.4 dB
    EXPECT_EQ(b[0].qIndex, QIndexOf("5.00"));
    EXPECT_DOUBLE_EQ(b[0].askedQ, 4.914);
    EXPECT_EQ(b[1].frequency, 147);
    EXPECT_EQ(b[1].qIndex, QIndexOf("2.10"));
    EXPECT_EQ(b[2].frequency, 1250);  // thousands separator
    EXPECT_EQ(b[2].gainStep, 162);    // 162.5: halves go to the even step
    // The bands no filter reached are bypassed and keep their values.
    EXPECT_EQ(b[3].type, kFilterParametric + kBypassOffset);
    EXPECT_FALSE(b[3].fromFilter);
    EXPECT_EQ(b[3].frequency, EqBandDefault(3, kSlotFrequency));
    EXPECT_TRUE(plan.warnings.empty());
}

// Equalizer APO's configuration as people write it: a preamp, comma
// decimals, a bandwidth, a corner shelf with a slope, a pass filter.
constexpr char kApo[] =
    "# living room, measured with the handheld\r\n"
    "Device: Speakers\r\n"
    "Preamp: -6,5 dB\r\n"
    "Filter 1: ON PK Fc 50 Hz Gain -10,0 dB Q 2,50\r\n"
    "Filter: ON PK Fc 400 Hz Gain 3 dB BW Oct 1\r\n"
    "Filter 3: ON LS 12dB Fc 100 Hz Gain 6 dB\r\n"
    "Filter 4: ON HPQ Fc 80 Hz Q 0.7\r\n"
    "Filter 5: ON   hsc   Fc 8000 Hz   Gain -2.2 dB   Q 0.71\r\n";

TEST(EqFileImportTest, ApoConfigurationWithPreampCommaDecimalsAndShelves) {
    const EqImportPlan plan = Plan(kApo);
    const auto& b = plan.bands;
    EXPECT_EQ(b[0].gainStep, 100);
    EXPECT_EQ(b[0].qIndex, QIndexOf("2.50"));
    EXPECT_NEAR(b[1].askedQ, 1.4142, 1e-4);  // one octave
    EXPECT_EQ(b[1].qIndex, QIndexOf("1.40"));
    // The corner of a 12 dB shelf of 6 dB lies a quarter octave below its middle.
    EXPECT_EQ(b[2].type, kFilterLowShelf);
    EXPECT_EQ(b[2].frequency, 119);
    EXPECT_EQ(b[2].qIndex, QIndexOf("1.00"));
    EXPECT_EQ(b[3].type, kFilterHighPass);
    EXPECT_FALSE(b[3].setsGain);
    EXPECT_EQ(b[3].qIndex, QIndexOf("0.71"));
    EXPECT_EQ(b[4].type, kFilterHighShelf);
    EXPECT_EQ(b[4].frequency, 8000);
    ASSERT_EQ(plan.warnings.size(), 2u);
    EXPECT_EQ(plan.warnings[0].reason, EqWarningReason::CommandIgnored);
    EXPECT_EQ(plan.warnings[1].reason, EqWarningReason::PreampNotApplied);
    EXPECT_DOUBLE_EQ(plan.warnings[1].asked, -6.5);
}

TEST(EqFileImportTest, ParametricEqWithSevenFiltersIsRefusedNamingTheCount) {
    const EqRefusal r = Refusal(
        "Preamp: -6.2 dB\n"
        "Filter 1: ON LSC Fc 105 Hz Gain 5.1 dB Q 0.70\n"
        "Filter 2: ON PK Fc 170 Hz Gain -3.4 dB Q 0.53\n"
        "Filter 3: ON PK Fc 1321 Hz Gain 2.4 dB Q 1.72\n"
        "Filter 4: ON PK Fc 3046 Hz Gain -4.8 dB Q 3.03\n"
        "Filter 5: ON PK Fc 5371 Hz Gain 3.6 dB Q 2.16\n"
        "Filter 6: ON PK Fc 7910 Hz Gain -2.5 dB Q 4.45\n"
        "Filter 7: ON HSC Fc 10000 Hz Gain -1.1 dB Q 0.70\n");
    EXPECT_EQ(r.reason, EqRefusalReason::TooManyFilters);
    EXPECT_EQ(r.count, 7);
    EXPECT_EQ(r.line, 7);
}

TEST(EqFileImportTest, NotchAndOutOfRangeValuesAreRefusedWithTheirLine) {
    EqRefusal r = Refusal("Filter 1: ON PK Fc 50 Hz Gain -3 dB Q 2\nFilter 2: ON NO Fc 60 Hz\n");
    EXPECT_EQ(r.reason, EqRefusalReason::UnsupportedType);
    EXPECT_EQ(r.line, 2);
    EXPECT_EQ(r.token, "NO");
    r = Refusal("Filter 1: ON PK Fc 50 Hz Gain 15 dB Q 2\n");
    EXPECT_EQ(r.reason, EqRefusalReason::OutOfRange);
    EXPECT_EQ(r.which, EqValue::Gain);
    EXPECT_DOUBLE_EQ(r.max, 12.0);
    EXPECT_EQ(Refusal("Filter: ON PK Fc 25000 Hz Gain 1 dB Q 2").which, EqValue::Frequency);
    EXPECT_EQ(Refusal("Filter: ON HPQ Fc 80 Hz Q 3").which, EqValue::Q);  // pass filters stop at 1.30
    EXPECT_EQ(Refusal("Filter: ON LSC 24 dB Fc 80 Hz Gain 3 dB").which, EqValue::Slope);
    r = Refusal("Filter 1: ON PK Fc 50 Hz Gian 3 dB Q 2\n");
    EXPECT_EQ(r.reason, EqRefusalReason::Unreadable);
    EXPECT_EQ(r.token, "Gian");
    EXPECT_EQ(Refusal("GraphicEQ: 20 -3; 100 2").reason, EqRefusalReason::UnsupportedCommand);
}

TEST(EqFileImportTest, JustBeyondAnEndIsTakenAtTheEndWithAWarning) {
    const EqImportPlan plan = Plan("Filter: ON PK Fc 19.3 Hz Gain -30.15 dB Q 133");
    EXPECT_EQ(plan.bands[0].frequency, 20);
    EXPECT_EQ(plan.bands[0].gainStep, 0);
    EXPECT_EQ(plan.bands[0].qIndex, kQTableLast);
    ASSERT_EQ(plan.warnings.size(), 3u);
    EXPECT_EQ(plan.warnings[0].which, EqValue::Gain);
    EXPECT_EQ(plan.warnings[1].which, EqValue::Q);
    EXPECT_EQ(plan.warnings[2].which, EqValue::Frequency);
}

TEST(EqFileImportTest, SwitchedOffFiltersTakeBandsOnlyWhenAllFit) {
    EqImportPlan plan = Plan("Filter 1: OFF PK Fc 50 Hz Gain 3 dB Q 2\nFilter 2: ON PK Fc 90 Hz Gain 1 dB Q 1");
    EXPECT_EQ(plan.bands[0].type, kBypassOffset);
    EXPECT_EQ(plan.bands[0].frequency, 50);
    EXPECT_EQ(plan.bands[1].type, kFilterParametric);
    std::string six;
    for (int i = 0; i < 6; ++i)
        six += (i == 2 ? "Filter: OFF " : "Filter: ON ") + std::string("PK Fc 100 Hz Gain 1 dB Q 1\n");
    plan = Plan(six);
    EXPECT_EQ(plan.bands[4].type, kFilterParametric);
    ASSERT_EQ(plan.warnings.size(), 1u);
    EXPECT_EQ(plan.warnings[0].reason, EqWarningReason::OffFiltersSkipped);
}

TEST(EqFileImportTest, BadInputGivesAClearRefusalAndNeverAPartialPlan) {
    EXPECT_EQ(Refusal("").reason, EqRefusalReason::Empty);
    EXPECT_EQ(Refusal(" \r\n\t").reason, EqRefusalReason::Empty);
    EXPECT_EQ(Refusal(std::string("Filter: ON PK\0\x01\x02", 16)).reason, EqRefusalReason::NotText);
    EXPECT_EQ(Refusal(std::string(kEqFileMaxBytes + 1, 'a')).reason, EqRefusalReason::TooLarge);
    EXPECT_EQ(Refusal("just some notes\n").reason, EqRefusalReason::NoFilter);
    const EqRefusal longLine = Refusal("Filter: ON PK Fc 100 Hz " + std::string(100000, 'x'));
    EXPECT_EQ(longLine.reason, EqRefusalReason::Unreadable);
    EXPECT_EQ(longLine.token.size(), kEqTokenLimit);
    EXPECT_EQ(Refusal("Filter: ON PK Fc 1e309 Hz Gain 1 dB Q 1").token, "1e309");
    EXPECT_EQ(Refusal("Filter: ON PK Fc 100 Hz Gain nan dB Q 1").token, "nan");
    EXPECT_EQ(Refusal("Filter: ON PK Fc 100 Hz Gain 1 dB Q inf").token, "inf");
    // A filter after a bad line is not taken either.
    EXPECT_EQ(Refusal("Filter: ON PK Fc 100 Hz Gain 1 dB Q 1\nFilter: ON PK Fc x Hz").line, 2);
}

TEST(EqFileImportTest, ByteOrderMarksLineEndsAndNegativeZeroReadCorrectly) {
    EXPECT_EQ(Plan("\xEF\xBB\xBF"
                   "Filter: ON PK Fc 100 Hz Gain -0 dB Q 1\r\n")
                  .bands[0]
                  .gainStep,
              150);
    EXPECT_EQ(Plan("Filter: ON PK Fc 100 Hz Gain 1 dB Q 1\rFilter: ON PK Fc 200 Hz Gain 1 dB Q 1").bands[1].line, 2);
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("Filter: ON PK Fc 321 Hz Gain 2 dB Q 3\r\n")) utf16 += std::string{c, '\0'};
    EXPECT_EQ(Plan(utf16).bands[0].frequency, 321);
    EXPECT_EQ(Refusal(utf16 + "x").reason, EqRefusalReason::NotText);  // an odd byte count
}

// ---------------------------------------------------------------------------
// Export, and back.

void SetBand(ParamStore& s, int b, int type, int freq, int gain, int q) {
    s.SetBoth(BandAddress(0, b, kSlotType), type);
    s.SetBoth(BandAddress(0, b, kSlotFrequency), freq);
    s.SetBoth(BandAddress(0, b, kSlotGain), gain);
    s.SetBoth(BandAddress(0, b, type % kBypassOffset == 0 ? kSlotQ : kSlotQOther), q);
}

void ExpectRoundTrip(const ParamStore& store) {
    const std::string text = ExportEqText(store, 0);
    const EqImportResult r = PlanEqImport(text, 0, store);
    ASSERT_TRUE(r.plan) << text;
    EXPECT_TRUE(EqImportChanges(*r.plan, store).empty()) << text;
}

TEST(EqFileExportTest, ExportThenImportGivesBackEveryRawValue) {
    ParamStore store = DefaultStore();
    SetBand(store, 0, kFilterParametric, 20, 0, 0);
    SetBand(store, 1, kFilterParametric + kBypassOffset, 20000, 210, kQTableLast);
    SetBand(store, 2, kFilterHighPass, 80, 150, 0);
    SetBand(store, 3, kFilterLowPass + kBypassOffset, 12000, 150, 30);
    SetBand(store, 4, kFilterHighShelf + kBypassOffset, 9000, 120, 25);
    ExpectRoundTrip(store);
    EXPECT_NE(ExportEqText(store, 0).find("Filter 2: OFF PK Fc 20000 Hz Gain 12.0 dB Q 128.00"), std::string::npos);
    EXPECT_NE(ExportEqText(store, 0).find("Filter 3: ON HPQ Fc 80 Hz Q 0.1\n"), std::string::npos);
    for (int q = 0; q <= 109; q += 3) {
        SetBand(store, 0, kFilterParametric, 1000, 150 + q % 60, q);
        ExpectRoundTrip(store);
    }
    // Shelves at every gain step and slope, plain and bypassed.
    for (int type : {int{kFilterLowShelf}, int{kFilterHighShelf}, kFilterLowShelf + kBypassOffset})
        for (int gain = 0; gain <= 210; gain += 7)
            for (int q = 0; q <= 30; ++q) {
                SetBand(store, 1, type, 150, gain, q);
                ExpectRoundTrip(store);
            }
}

TEST(EqFileExportTest, ExportWritesOneLinePerBandInPlainSyntax) {
    ParamStore store = DefaultStore();
    SetBand(store, 1, kFilterLowShelf, 100, 180, 25);
    EXPECT_EQ(ExportEqText(store, 0),
              "# TR640 microphone 1, five EQ bands\n"
              "Filter 1: ON PK Fc 30 Hz Gain 0.0 dB Q 4.00\n"
              "Filter 2: ON LSC Fc 100 Hz Gain 6.0 dB Q 0.7071\n"
              "Filter 3: ON PK Fc 229 Hz Gain 0.0 dB Q 4.00\n"
              "Filter 4: ON PK Fc 976 Hz Gain 0.0 dB Q 4.00\n"
              "Filter 5: ON PK Fc 4393 Hz Gain 0.0 dB Q 4.00\n");
    store.SetBoth(BandAddress(0, 4, kSlotType), 205);
    EXPECT_NE(ExportEqText(store, 0).find("# Filter 5: type code 205"), std::string::npos);
}

TEST(EqFileExportTest, CurveIsTheGraphsCurveOnItsGrid) {
    ParamStore store = DefaultStore();
    SetBand(store, 2, kFilterParametric, 1000, 180, 49);
    std::istringstream in(ExportEqCurveText(store, 0));
    EqResponse expected;
    EvaluateEq(store, 0, expected);
    std::string line;
    int comments = 0, point = 0;
    while (std::getline(in, line)) {
        if (line[0] == '*') {
            ++comments;
            continue;
        }
        double f = 0, db = 0;
        std::istringstream(line) >> f >> db;
        EXPECT_NEAR(f, FrequencyGrid::Frequency(point), 0.005);
        EXPECT_NEAR(db, expected.combined[static_cast<std::size_t>(point)], 0.0005);
        ++point;
    }
    EXPECT_EQ(comments, 6);
    EXPECT_EQ(point, FrequencyGrid::kPoints);
}

}  // namespace
}  // namespace tr640
