// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkHarness.h"
#include "model/CompressorCurve.h"
#include "model/ValueKinds.h"
#include "support/QuietOffscreen.h"
#include "ui/Unit14.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <cstdint>
#include <vector>

namespace tr640 {
namespace {

// The window sending through a link to a virtual TR640.
class CompressorLinked : public testing::LinkFixture {
protected:
    void ConnectAndClearLog() {
        Connect();
        device.ClearWriteLog();
    }
    // Enough hold ticks for a burst and the repeat of its last change.
    void Drain() {
        for (int i = 0; i < 40; ++i) TickHold();
    }
    // Addresses of the accepted writes of a band's curve, in arrival order.
    std::vector<int> CurveWrites(int band) const {
        std::vector<int> out;
        for (const auto& w : device.WriteLog()) {
            if (w.address >= CompressorCurveAddress(band, 0) && w.address <= CompressorCurveAddress(band, 4)) {
                out.push_back(w.address);
            }
        }
        return out;
    }

    testing::QuietOffscreen quiet;
    TForm14 form{store, [this](int address, std::int32_t value) { link.SendParameter(address, value); }};
};

TEST_F(CompressorLinked, ModifyOnTheMidBandReachesTheDeviceFromIndexSeventyFourDown) {
    // A curve the device holds is what the window opens with.
    device.SetValue(CompressorCurveAddress(1, 3), static_cast<std::uint16_t>(EncodeCompressorPoint(-12, -20)));
    ConnectAndClearLog();
    form.OpenForBand(1);
    EXPECT_EQ(form.RzSpinEdit7->value(), -12);
    EXPECT_EQ(form.RzSpinEdit8->value(), -20);

    form.RzSpinEdit10->setValue(0);
    form.RzSpinEdit4->setValue(-100);
    Drain();
    EXPECT_TRUE(CurveWrites(1).empty());  // editing sends nothing

    QTest::mouseClick(form.RzButton2, Qt::LeftButton);
    Drain();
    // The burst in order, its last change repeated after its acknowledgement.
    EXPECT_EQ(CurveWrites(1), (std::vector<int>{0x014A, 0x0149, 0x0148, 0x0147, 0x0146, 0x0146}));
    const auto packed = PackCompressorCurve(form.Curve());
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(device.Value(CompressorCurveAddress(1, k)), packed[static_cast<std::size_t>(k)]) << k;
        EXPECT_EQ(store.Device(CompressorCurveAddress(1, k)), packed[static_cast<std::size_t>(k)]) << k;
    }
    EXPECT_EQ(DecodeCompressorPoint(device.Value(0x014A)), (CompressorPoint{6, 0}));
    EXPECT_EQ(DecodeCompressorPoint(device.Value(0x0147)).outputDb, -100);
    EXPECT_EQ(link.Vars().linkState, kLinkedIdle);
}

TEST_F(CompressorLinked, ResetReachesTheDeviceWithoutModify) {
    ConnectAndClearLog();
    form.OpenForBand(0);
    QTest::mouseClick(form.RzButton3, Qt::LeftButton);
    Drain();
    EXPECT_EQ(CurveWrites(0), (std::vector<int>{0x0142, 0x0141, 0x0140, 0x013F, 0x013E, 0x013E}));
    const auto reset = PackCompressorCurve(ResetCompressorCurve());
    for (int k = 0; k < 5; ++k) EXPECT_EQ(device.Value(CompressorCurveAddress(0, k)), reset[static_cast<std::size_t>(k)]);
    EXPECT_TRUE(CurveWrites(1).empty() && CurveWrites(2).empty());
}

}  // namespace
}  // namespace tr640
