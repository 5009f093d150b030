// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/CompressorCurve.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace tr640 {
namespace {

using Levels = std::array<float, 5>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

CompressorCurve Constrained(Levels in, Levels out) {
    CompressorCurve c{in, out};
    ConstrainCompressorCurve(c);
    return c;
}

TEST(CompressorCurveTest, BandsTitlesAndAddresses) {
    for (int band : {0, 1, 2}) EXPECT_EQ(CompressorBand(band), band);
    for (int other : {-1, 3, INT_MIN, INT_MAX}) EXPECT_EQ(CompressorBand(other), 2) << other;
    EXPECT_EQ(CompressorTitle(0), "低音 Compressor");
    EXPECT_EQ(CompressorTitle(1), "中音 Compressor");
    EXPECT_EQ(CompressorTitle(7), "高音 Compressor");
    for (int band = 0; band < 3; ++band) {
        for (int k = 0; k < 5; ++k) EXPECT_EQ(CompressorCurveAddress(band, k), 256 + 62 + 8 * band + k);
    }
    EXPECT_EQ(CompressorCurveAddress(2, 4), 0x0152);  // the last address of page 1
}

TEST(CompressorCurveTest, PackingRoundTripsEveryWholeDbPointAndRoundsHalvesToEven) {
    EXPECT_EQ(EncodeCompressorPoint(0, 0), 51400);
    EXPECT_EQ(EncodeCompressorPoint(-40, -40), 160 * 256 + 160);
    for (int in = -90; in <= 6; ++in) {
        for (int out = -113; out <= 15; ++out) {
            const std::int32_t packed = EncodeCompressorPoint(in, out);
            ASSERT_EQ(DecodeCompressorPoint(packed), (CompressorPoint{in, out}));
            ASSERT_TRUE(packed / 256 >= 110 && packed / 256 <= 206 && packed % 256 >= 87 && packed % 256 <= 215);
        }
    }
    // The curve keeps fractions; storing takes the nearest whole dB.
    const CompressorCurve curve{{-90, -61.4f, -40.5f, -39.5f, 6}, {-100, -55.6f, 2.5f, 3.5f, -20.49f}};
    EXPECT_EQ(UnpackCompressorCurve(PackCompressorCurve(curve)),
              (CompressorCurve{{-90, -61, -40, -40, 6}, {-100, -56, 2, 4, -20}}));
}

TEST(CompressorCurveTest, LimitsAndTheSingleOrderingPass) {
    struct Case {
        const char* what;
        Levels in, out, wantIn, wantOut;
    };
    const Case cases[] = {
        {"ordered curve unchanged", {-90, -70, -40, 0, 6}, {-90, -70, -40, 0, 6}, {-90, -70, -40, 0, 6},
         {-90, -70, -40, 0, 6}},
        {"fractions survive", {-90, -60.25f, -30.5f, -10, 6}, {-90, -55.5f, -28.25f, -18, -12},
         {-90, -60.25f, -30.5f, -10, 6}, {-90, -55.5f, -28.25f, -18, -12}},
        {"10 dB out at -40 in gives -4", {-90, -70, -40, 0, 6}, {-90, -70, 10, 0, 6}, {-90, -70, -40, 0, 6},
         {-90, -70, -4, 0, 6}},
        {"input -20 before -40 comes down", {-90, -20, -40, 0, 6}, {-90, -70, -40, 0, 6}, {-90, -40, -40, 0, 6},
         {-90, -70, -40, 0, 6}},
        {"0 -10 -20 is not fully sorted", {-90, 0, -10, -20, 6}, {-90, -70, -40, 0, 6}, {-90, -10, -20, -20, 6},
         {-90, -70, -40, 0, 6}},
        {"falling outputs not fully sorted", {-90, -60, -40, -20, 6}, {-60, -70, -80, -90, 6},
         {-90, -60, -40, -20, 6}, {-70, -80, -90, -90, 6}},
        {"ranges", {-500, 100, -91, 7, 1000}, {-500, 100, -114, 16, 1000}, {-90, -90, -90, 6, 6},
         {-113, -113, -113, 15, 15}},
        // Point 0 gets its fixed input after the 36 dB rule, so at +6 it
        // keeps an output of +15.
        {"end input fixed last", {6, 6, 6, 6, 6}, {15, 15, 15, 15, 15}, {-90, 6, 6, 6, 6}, {15, 15, 15, 15, 15}},
        {"nan and infinities", {kNaN, kNaN, kInf, -kInf, kNaN}, {kNaN, kInf, -kInf, kNaN, kInf},
         {-90, -90, -90, -90, 6}, {-113, -113, -113, -113, -54}},
    };
    for (const Case& c : cases) {
        const CompressorCurve got = Constrained(c.in, c.out);
        EXPECT_EQ(got.input, c.wantIn) << c.what;
        EXPECT_EQ(got.output, c.wantOut) << c.what;
    }
}

TEST(CompressorCurveTest, BadStoredValuesLoadInsideTheLevels) {
    ParamStore store;
    store.SetShown(CompressorCurveAddress(1, 2), 51400);
    CompressorCurve c = LoadCompressorCurve(store, 1);
    EXPECT_EQ(std::make_pair(c.input[2], c.output[2]), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(std::make_pair(c.input[0], c.output[0]), std::make_pair(-200.0f, -200.0f));  // a stored 0

    for (std::int32_t raw : {0, -1, 255, 65535, 65536, -65536, INT32_MIN, INT32_MAX}) {
        for (int k = 0; k < 5; ++k) store.SetShown(CompressorCurveAddress(0, k), raw);
        c = LoadCompressorCurve(store, 0);
        ConstrainCompressorCurve(c);
        for (std::size_t k = 0; k < 5; ++k) {
            EXPECT_TRUE(c.input[k] >= -90 && c.input[k] <= 6) << raw;
            EXPECT_TRUE(c.output[k] >= -113 && c.output[k] <= 15) << raw;
        }
        EXPECT_EQ(c.input[0], -90.0f);
        EXPECT_EQ(c.input[4], 6.0f);
        if (raw == 0) {
            EXPECT_EQ(c, (CompressorCurve{{-90, -90, -90, -90, 6}, {-113, -113, -113, -113, -113}}));
        }
    }
    // INT32_MIN decodes to about -8.4 million dB; a float holds it exactly.
    store.SetShown(CompressorCurveAddress(2, 0), INT32_MIN);
    EXPECT_EQ(LoadCompressorCurve(store, 2).input[0], -8388808.0f);
}

TEST(CompressorCurveTest, DragLimits) {
    CompressorCurve c = ResetCompressorCurve();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double x, y;
        float in, out;
    };
    // Top-left corner of the chart, bottom-right, the 36 dB rule, a free spot.
    for (const Case& m : {Case{-95.3, 24, -90, -54}, Case{6.4, -115, 6, -113}, Case{-30.25, 10, -30.25f, 5.75f},
                          Case{-50.125, -60.5, -50.125f, -60.5f}, Case{-inf, inf, -90, -54}}) {
        ASSERT_TRUE(DragCompressorPoint(c, 2, m.x, m.y));
        EXPECT_EQ(std::make_pair(c.input[2], c.output[2]), std::make_pair(m.in, m.out)) << m.x << " " << m.y;
    }
    const CompressorCurve before = c;
    EXPECT_FALSE(DragCompressorPoint(c, 5, 0, 0));
    EXPECT_FALSE(DragCompressorPoint(c, -1, 0, 0));
    EXPECT_FALSE(DragCompressorPoint(c, 2, std::nan(""), 0));
    EXPECT_EQ(c, before);
}

TEST(CompressorCurveTest, StoreWritesTheShownImageThenSendsPointFourDown) {
    ParamStore store;
    std::vector<std::pair<int, std::int32_t>> sent;
    const CompressorCurve curve{{-90, -60.4f, -30.5f, -10, 6}, {-90, -55.6f, -28, -18, -12}};
    const auto packed = PackCompressorCurve(curve);
    StoreCompressorCurve(curve, 1, store, [&](int address, std::int32_t value) {
        // All five are in the shown image before the first goes out.
        if (sent.empty()) {
            EXPECT_EQ(store.Shown(1, 70), packed[0]);
        }
        sent.emplace_back(address, value);
    });
    ASSERT_EQ(sent.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(sent[i], std::make_pair(256 + 74 - static_cast<int>(i), packed[4 - i]));
        EXPECT_EQ(store.Shown(1, 74 - static_cast<int>(i)), packed[4 - i]);
    }
    EXPECT_EQ(DecodeCompressorPoint(store.Shown(1, 71)), (CompressorPoint{-60, -56}));
    EXPECT_EQ(store.Shown(1, 75), 0);
    EXPECT_EQ(store.Device(1, 70), 0);  // the device image is the send function's business
    StoreCompressorCurve(ResetCompressorCurve(), 0, store, nullptr);
    EXPECT_EQ(store.Shown(1, 62), EncodeCompressorPoint(-90, -90));
}

}  // namespace
}  // namespace tr640
