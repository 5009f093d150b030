// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging band handles with the mouse in the main window, alone and with a
// virtual TR640 linked.

#include "model/ValueKinds.h"

#include "eqgraph/GraphFixture.h"

#include <QCursor>

#include <algorithm>
#include <map>

namespace tr640::testing {
namespace {

constexpr int kFrequency1 = BandAddress(0, 0, kSlotFrequency);  // microphone 1, band 1
constexpr int kGain1 = BandAddress(0, 0, kSlotGain);

class DragTest : public GraphFixture {
protected:
    DragTest() {
        SetBand(0, 0, kFilterParametric, 1000, 150, 49);  // 1000 Hz, 0 dB, Q 4.00
        Refresh();
    }
    BitmapImage* EP1() { return w().EP1; }
    int XOf(double hertz) { return Nearest(graph().Scale().X(hertz) - 7); }
    int YOf(double level) { return Nearest(graph().Scale().Y(level) - 7); }
};

TEST_F(DragTest, AcrossChangesTheFrequencyAndTheHandleSettlesOnTheCurve) {
    ASSERT_EQ(EP1()->pos(), QPoint(484, 53));  // centre on column 491
    Press(EP1());
    EXPECT_EQ(EP1()->cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(state().currentField, w().Mic1FreEdit1);
    MoveBy(EP1(), 10, 0);
    EXPECT_EQ(EP1()->pos(), QPoint(494, 53));
    EXPECT_EQ(graph().Drag().pendingFrequency, 1104.0f);
    // Nothing is applied until the timer ticks.
    EXPECT_EQ(store().Shown(kFrequency1), 1000);

    Tick();
    EXPECT_EQ(w().Mic1FreEdit1->text(), QStringLiteral("1104.0Hz"));
    EXPECT_EQ(store().Shown(kFrequency1), 1104);
    EXPECT_EQ(store().Device(kFrequency1), 1104);
    EXPECT_EQ(w().Mic1GainEdit1->text(), QStringLiteral("0.0dB"));
    EXPECT_EQ(store().Shown(kGain1), 150);
    // Redrawn on the same tick: the handle sits where the stored values put
    // it, and the readout shows the band.
    EXPECT_EQ(EP1()->pos(), QPoint(XOf(1104), 53));
    EXPECT_EQ(w().EQlabel->text(), QStringLiteral("0.0dB\nQ:4.00\n1104.00Hz"));
    EXPECT_EQ(graph().Points()[Nearest(FrequencyGrid::Step(1104))].y, 60);

    Release(EP1());
    EXPECT_EQ(EP1()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(graph().Drag().dragging);
}

TEST_F(DragTest, TheRefreshTimerRunsFromThePressUntilTheLastValuesAreDrawn) {
    Press(EP1());
    EXPECT_TRUE(w().Timer1->isActive());
    w().Timer1Timer();  // the press's readout
    EXPECT_TRUE(w().Timer1->isActive());  // held
    MoveBy(EP1(), 10, 0);
    Release(EP1());
    w().Timer1Timer();  // applies and draws the move made before the release
    EXPECT_EQ(store().Shown(kFrequency1), 1104);
    EXPECT_FALSE(w().Timer1->isActive());
}

TEST_F(DragTest, UpAndDownChangeTheGainAndTheCurveFollows) {
    Press(EP1());
    MoveBy(EP1(), 0, -30);  // centre on row 30: +6 dB
    Tick();
    EXPECT_EQ(w().Mic1GainEdit1->text(), QStringLiteral("6.0dB"));
    EXPECT_EQ(store().Shown(kGain1), 180);
    EXPECT_EQ(w().Mic1GainBar1->value(), 180);
    // The first tick of a drag applies both values: 1005 Hz from column 491.
    EXPECT_EQ(store().Shown(kFrequency1), 1005);
    EXPECT_EQ(EP1()->pos(), QPoint(XOf(1005), YOf(6)));
    EXPECT_EQ(graph().Points()[303].y, Nearest(graph().Scale().Y(6)));

    MoveBy(EP1(), 0, 60);  // -6 dB
    Tick();
    EXPECT_EQ(w().Mic1GainEdit1->text(), QStringLiteral("-6.0dB"));
    EXPECT_EQ(w().EQlabel->y() + w().EQlabel->height(), EP1()->y() - 1);  // the readout stands above a cut
    Release(EP1());
}

TEST_F(DragTest, LimitsHoldAtTheEdges) {
    Press(EP1());
    MoveBy(EP1(), -2000, 0);
    EXPECT_EQ(EP1()->x(), 67);  // centre 74: 20 Hz
    Tick();
    EXPECT_EQ(w().Mic1FreEdit1->text(), QStringLiteral("20.0Hz"));
    EXPECT_EQ(EP1()->x(), 67);

    MoveBy(EP1(), 4000, 0);
    EXPECT_EQ(EP1()->x(), 803);
    Tick();
    EXPECT_EQ(w().Mic1FreEdit1->text(), QStringLiteral("20000.0Hz"));
    EXPECT_EQ(store().Shown(kFrequency1), 20000);

    MoveBy(EP1(), 0, -1000);
    EXPECT_EQ(EP1()->y(), -7);  // centre on the top edge
    Tick();
    EXPECT_EQ(w().Mic1GainEdit1->text(), QStringLiteral("12.0dB"));
    EXPECT_EQ(store().Shown(kGain1), 210);
    EXPECT_EQ(EP1()->y(), -7);

    MoveBy(EP1(), 0, 3000);
    EXPECT_EQ(EP1()->y(), 205);
    Tick();
    EXPECT_EQ(w().Mic1GainEdit1->text(), QStringLiteral("-30.0dB"));
    EXPECT_EQ(store().Shown(kGain1), 0);
    EXPECT_EQ(EP1()->y(), YOf(-30));  // settles with its centre on the last row
    Release(EP1());
}

TEST_F(DragTest, PressAndReleaseWithoutMovingSendsNothingAndShowsTheReadout) {
    Tick();
    w().EQlabel->setText(QStringLiteral("marker"));
    Press(EP1());
    Release(EP1());
    EXPECT_EQ(state().currentField, w().Mic1FreEdit1);
    EXPECT_TRUE(state().wheelArmed);
    EXPECT_FALSE(graph().Drag().dragging);
    Tick();
    EXPECT_EQ(w().EQlabel->text(), QStringLiteral("0.0dB\nQ:4.00\n1000.00Hz"));
    EXPECT_EQ(graph().Drag().pendingFrequency, 0.0f);
    EXPECT_EQ(store().Shown(kFrequency1), 1000);
}

TEST_F(DragTest, AMoveThatDoesNotMoveStillReadsThePixels) {
    Press(EP1());
    MoveBy(EP1(), 0, 0);
    Tick();
    EXPECT_EQ(store().Shown(kFrequency1), 1005);
    EXPECT_EQ(store().Shown(kGain1), 150);  // row 60 reads +0.06 dB
    Release(EP1());
}

TEST_F(DragTest, OnMicrophoneTwoTheHandleEditsMicrophoneTwo) {
    SetBand(1, 0, kFilterParametric, 1000, 150, 49);
    Refresh();
    w().AdvPageControl2->setCurrentIndex(1);
    Tick();
    Press(EP1());
    EXPECT_EQ(state().currentField, w().Mic2FreEdit1);
    MoveBy(EP1(), 10, 0);
    Tick();
    EXPECT_EQ(store().Shown(BandAddress(1, 0, kSlotFrequency)), 1104);
    EXPECT_EQ(store().Shown(kFrequency1), 1000);
    EXPECT_EQ(w().Mic2FreEdit1->text(), QStringLiteral("1104.0Hz"));
    Release(EP1());
}

TEST_F(DragTest, PassBandGainChangesButItsHandleReturnsToZeroDecibels) {
    SetBand(0, 1, kFilterHighPass, 100, 150, 19);
    Refresh();
    BitmapImage* ep2 = w().EP2;
    ASSERT_EQ(ep2->y(), 53);
    Press(ep2);
    MoveBy(ep2, 0, -40);
    Tick();
    EXPECT_EQ(w().Mic1GainEdit2->text(), QStringLiteral("8.0dB"));
    EXPECT_EQ(store().Shown(BandAddress(0, 1, kSlotGain)), 190);
    EXPECT_EQ(ep2->y(), 53);
    EXPECT_EQ(w().EQlabel->text(), QStringLiteral("100.00Hz"));
    Release(ep2);
}

// ---------------------------------------------------------------------------
// With a virtual TR640 linked.

class LinkedDragTest : public DragTest {
protected:
    LinkedDragTest() {
        // The device holds the band the drag starts from.
        const int band[5] = {kFilterParametric, 1000, 150, 49, 25};
        for (int slot = 0; slot < 5; ++slot)
            device.SetValue(static_cast<std::uint16_t>(BandAddress(0, 0, slot)), static_cast<std::uint16_t>(band[slot]));
        Connect();
    }
    // One refresh tick, then what the link does until the next: the
    // device's answer and a hold tick for anything that waited.
    void TickAll() {
        Tick();
        Pump();
        TickHold();
    }
    // Changes of the dragged band's values as the device took them, in
    // order. The link sends the last change of a burst twice on purpose;
    // a write that repeats the value its address holds already is not a
    // change. Keep-alive polls and other traffic are left out.
    std::vector<VirtualTr640::WriteRecord> BandWrites() const {
        std::vector<VirtualTr640::WriteRecord> out;
        std::map<int, int> held = {{kFrequency1, heldFrequency_}, {kGain1, heldGain_}};
        for (const auto& write : Writes()) {
            if (write.address != kFrequency1 && write.address != kGain1) continue;
            if (held[write.address] == write.value) continue;
            held[write.address] = write.value;
            out.push_back(write);
        }
        return out;
    }
    // Starts a new record: what the device holds now is the base.
    void ClearWrites() {
        heldFrequency_ = device.Value(static_cast<std::uint16_t>(kFrequency1));
        heldGain_ = device.Value(static_cast<std::uint16_t>(kGain1));
        device.ClearWriteLog();
    }
    std::vector<int> WrittenAddresses() const {
        std::vector<int> out;
        for (const auto& write : BandWrites()) out.push_back(write.address);
        return out;
    }
    std::vector<std::uint16_t> Values(int address) const {
        std::vector<std::uint16_t> out;
        for (const auto& write : BandWrites())
            if (write.address == address) out.push_back(write.value);
        return out;
    }

private:
    int heldFrequency_ = 1000;
    int heldGain_ = 150;
};

TEST_F(LinkedDragTest, DiagonalSendsFrequencyThenGainOnTheSameTick) {
    ASSERT_EQ(EP1()->pos(), QPoint(484, 53));
    Press(EP1());
    EXPECT_TRUE(BandWrites().empty());  // selecting the band sends nothing
    MoveBy(EP1(), 10, -30);
    TickAll();
    EXPECT_EQ(WrittenAddresses(), (std::vector<int>{kFrequency1, kGain1}));
    EXPECT_EQ(Values(kFrequency1), (std::vector<std::uint16_t>{1104}));
    EXPECT_EQ(Values(kGain1), (std::vector<std::uint16_t>{180}));
    EXPECT_EQ(device.Value(static_cast<std::uint16_t>(kFrequency1)), 1104);
    EXPECT_EQ(device.Value(static_cast<std::uint16_t>(kGain1)), 180);
    Release(EP1());
}

TEST_F(LinkedDragTest, AtMostOneOfEachPerTickAndOnlyTheLatest) {
    Press(EP1());
    MoveBy(EP1(), 0, 1);
    TickAll();  // the first tick of a drag applies both values
    ClearWrites();

    // Three moves between two ticks: only where the handle ended up is sent.
    MoveBy(EP1(), 5, 0);
    MoveBy(EP1(), 5, 0);
    MoveBy(EP1(), 5, 0);
    TickAll();
    EXPECT_EQ(WrittenAddresses(), (std::vector<int>{kFrequency1}));
    const std::uint16_t sent = Values(kFrequency1).front();
    EXPECT_EQ(sent, store().Shown(kFrequency1));
    EXPECT_EQ(w().Mic1FreEdit1->text(), QString::number(sent) + QStringLiteral(".0Hz"));

    // A long drag: never more than one frequency and one gain per tick.
    ClearWrites();
    for (int tick = 0; tick < 12; ++tick) {
        const std::size_t before = BandWrites().size();
        MoveBy(EP1(), 3, tick % 3 == 0 ? -2 : 0);
        MoveBy(EP1(), 4, 0);
        TickAll();
        const std::vector<VirtualTr640::WriteRecord> all = BandWrites();
        std::vector<int> thisTick;
        for (std::size_t i = before; i < all.size(); ++i) thisTick.push_back(all[i].address);
        EXPECT_LE(std::count(thisTick.begin(), thisTick.end(), kFrequency1), 1) << tick;
        EXPECT_LE(std::count(thisTick.begin(), thisTick.end(), kGain1), 1) << tick;
        if (thisTick.size() == 2) {
            EXPECT_EQ(thisTick.front(), kFrequency1) << tick;
        }
    }
    Release(EP1());
}

TEST_F(LinkedDragTest, PureHorizontalSendsFrequenciesPureVerticalSendsGains) {
    Press(EP1());
    MoveBy(EP1(), 1, 0);
    TickAll();
    ClearWrites();
    for (int tick = 0; tick < 4; ++tick) {
        MoveBy(EP1(), 6, 0);
        TickAll();
    }
    for (const int address : WrittenAddresses()) EXPECT_EQ(address, kFrequency1);
    EXPECT_EQ(BandWrites().size(), 4u);

    ClearWrites();
    for (int tick = 0; tick < 4; ++tick) {
        MoveBy(EP1(), 0, -6);
        TickAll();
    }
    for (const int address : WrittenAddresses()) EXPECT_EQ(address, kGain1);
    EXPECT_EQ(BandWrites().size(), 4u);
    Release(EP1());

    // Released: one more tick sends nothing new.
    ClearWrites();
    TickAll();
    EXPECT_TRUE(BandWrites().empty());
}

}  // namespace
}  // namespace tr640::testing
