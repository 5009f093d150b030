// SPDX-License-Identifier: GPL-3.0-or-later
// Handle places, the band readout and the drag, without any widget.

#include "eqgraph/BandReadout.h"
#include "eqgraph/HandleDrag.h"
#include "model/ValueKinds.h"

#include <gtest/gtest.h>

namespace tr640 {
namespace {

GraphScale MainSurface() {
    GraphScale scale;
    scale.SetUp(kGraphWidth, kGraphHeight);
    return scale;
}

EqBand Band(int type, float hertz, float gain, float q = 4.0f) {
    EqBand b;
    b.type = type;
    b.frequency = hertz;
    b.gain = gain;
    b.q = q;
    return b;
}

// ---------------------------------------------------------------------------
// Handle places.

TEST(HandlePlaceTest, CentredOnStoredFrequencyAndGain) {
    const GraphScale s = MainSurface();
    // 1000 Hz, +6 dB: centre (490.5, 30.1), so the corner is (484, 23).
    EXPECT_EQ(HandlePlace(s, Band(kFilterParametric, 1000, 6), 7), (Place{484, 23}));
    // The stored frequency, not the grid point its curve snaps to (1001 Hz).
    EXPECT_EQ(HandlePlace(s, Band(kFilterParametric, 1001, 0), 7).left, Nearest(s.X(1001) - 7));
    // Pass filters sit on the 0 dB line whatever their gain, bypassed or not.
    EXPECT_EQ(HandlePlace(s, Band(kFilterHighPass, 80, 9), 7), (Place{Nearest(s.X(80) - 7), 53}));
    EXPECT_EQ(HandlePlace(s, Band(kFilterLowPass + 10, 80, -20), 7).top, 53);
    // A bypassed parametric band draws flat but its handle keeps its gain.
    EXPECT_EQ(HandlePlace(s, Band(kFilterParametric + 10, 1000, 9), 7).top, Nearest(s.Y(9) - 7));
    EXPECT_EQ(HandlePlace(s, Band(kFilterLowShelf, 100, -30), 7), (Place{238, 204}));
}

// ---------------------------------------------------------------------------
// Readout.

TEST(ReadoutTest, Texts) {
    EXPECT_EQ(ReadoutText(Band(kFilterParametric, 1000, 6, 4)), "6.0dB\nQ:4.00\n1000.00Hz");
    EXPECT_EQ(ReadoutText(Band(kFilterParametric, 1000, -3.2f, 0.1f)), "-3.2dB\nQ:0.10\n1000.00Hz");
    EXPECT_EQ(ReadoutText(Band(kFilterHighShelf, 20000, 12, 128)), "12.0dB\nQ:128.00\n20000.00Hz");
    EXPECT_EQ(ReadoutText(Band(kFilterLowShelf, 20, 0, 1.3f)), "0.0dB\nQ:1.30\n20.00Hz");
    EXPECT_EQ(ReadoutText(Band(kFilterParametric + 10, 66, -29.8f, 4)), "-29.8dB\nQ:4.00\n66.00Hz");
    // Pass filters, bypassed or not: the frequency alone.
    EXPECT_EQ(ReadoutText(Band(kFilterHighPass, 80, 9)), "80.00Hz");
    EXPECT_EQ(ReadoutText(Band(kFilterLowPass + 10, 12000, 9)), "12000.00Hz");
}

TEST(ReadoutTest, HangsUnderABoostStandsOverACutReachesIntoAPassHandle) {
    const Rect handle{484, 23, 14, 14};
    // Centred across the handle: 484 + 7 - 61 / 2.
    const Place under = ReadoutPlace(Band(kFilterParametric, 1000, 6), handle, 61, 39);
    EXPECT_EQ(under, (Place{461, 37}));
    EXPECT_EQ(ReadoutPlace(Band(kFilterParametric, 1000, 0), handle, 61, 39).top, 37);
    // A cut: the bottom one pixel above the handle's top.
    const Place over = ReadoutPlace(Band(kFilterParametric, 1000, -6), handle, 61, 39);
    EXPECT_EQ(over, (Place{461, 23 - 39 - 1}));
    // A pass filter: 5 pixels up into the handle's bottom edge.
    EXPECT_EQ(ReadoutPlace(Band(kFilterHighPass, 80, 9), handle, 47, 13), (Place{484 + 7 - 23, 23 + 14 - 5}));
    EXPECT_EQ(ReadoutPlace(Band(kFilterLowPass, 80, -9), handle, 47, 13).top, 32);
}

// ---------------------------------------------------------------------------
// The drag.

struct DragRig {
    GraphScale scale = MainSurface();
    HandleDrag drag;
    Rect handle{484, 53, 14, 14};  // a 1000 Hz band at 0 dB
    std::optional<Place> MoveTo(int x, int y) {
        auto to = drag.Move(x, y, handle, 0, 212, scale);
        if (to) {
            handle.left = to->left;
            handle.top = to->top;
        }
        return to;
    }
};

TEST(HandleDragTest, PressStartsADragOnlyBandHandlesSelectABand) {
    DragRig r;
    EXPECT_FALSE(r.drag.TakeApply().Any());  // everything starts at 0
    EXPECT_FALSE(r.MoveTo(20, 7));          // not pressed
    EXPECT_TRUE(r.drag.Press(14, 3, 4));
    EXPECT_EQ(r.drag.State().pressX, 3);
    EXPECT_EQ(r.drag.State().pressY, 4);
    EXPECT_FALSE(r.drag.Press(15, 7, 7));  // HPF moves but selects nothing
    EXPECT_EQ(r.drag.State().draggedHandle, 15);
    EXPECT_FALSE(r.drag.Press(-1, 7, 7));  // not a handle: moves do nothing
    EXPECT_TRUE(r.drag.State().dragging);
    EXPECT_FALSE(r.MoveTo(40, 7));
    r.drag.Release();
    EXPECT_FALSE(r.drag.State().dragging);
}

TEST(HandleDragTest, AcrossIsFrequencyUpIsGain) {
    DragRig r;
    r.drag.Press(2, 7, 7);
    // A move that does not move still reads the pixels: f(491) = 1004.6.
    EXPECT_EQ(r.MoveTo(7, 7), (Place{484, 53}));
    EXPECT_EQ(r.drag.State().pendingFrequency, 1005.0f);
    // Ten pixels right: centre 501.
    EXPECT_EQ(r.MoveTo(17, 7), (Place{494, 53}));
    EXPECT_EQ(r.drag.State().pendingFrequency, 1104.0f);
    EXPECT_EQ(r.drag.State().dragBand, 2);
    // Centre on row 60 reads 0.057 dB: step 150.
    EXPECT_EQ(r.drag.State().pendingGainStep, 150.0f);
    // Up 30 pixels: centre row 30, 6.03 dB, step 180.
    r.MoveTo(7, -23);
    EXPECT_EQ(r.handle.top, 23);
    EXPECT_EQ(r.drag.State().pendingGainStep, 180.0f);
    EXPECT_EQ(r.drag.State().pendingFrequency, 1104.0f);
}

TEST(HandleDragTest, LimitsAt20Hz20kHzAndTheSurfaceEdges) {
    DragRig r;
    r.drag.Press(0, 7, 7);
    EXPECT_EQ(r.MoveTo(-2000, 7)->left, 67);  // centre 74 = x(20)
    EXPECT_EQ(r.drag.State().pendingFrequency, 20.0f);
    EXPECT_EQ(r.MoveTo(2000, 7)->left, Nearest(r.scale.X(20000) - 7));
    EXPECT_EQ(r.handle.left, 803);
    EXPECT_EQ(r.drag.State().pendingFrequency, 20000.0f);
    // Up past the top: centre on row 0, +12 dB.
    EXPECT_EQ(r.MoveTo(7, -500)->top, -7);
    EXPECT_EQ(r.drag.State().pendingGainStep, 210.0f);
    // Down past the bottom: centre on row 212, below -30 dB, held at -30.
    EXPECT_EQ(r.MoveTo(7, 900)->top, 205);
    EXPECT_EQ(r.drag.State().pendingGainStep, 0.0f);
    // Just inside 20 kHz stays where the mouse put it.
    r.handle.left = 795;
    r.MoveTo(7, 7);
    EXPECT_EQ(r.handle.left, 795);
    EXPECT_EQ(r.drag.State().pendingFrequency, static_cast<float>(Nearest(r.scale.Frequency(802))));
}

TEST(HandleDragTest, TimerTakesEachChangeOnceFrequencyWithGain) {
    DragRig r;
    r.drag.Press(0, 7, 7);
    r.MoveTo(17, -3);  // diagonal
    DragApply first = r.drag.TakeApply();
    EXPECT_TRUE(first.frequency);
    EXPECT_TRUE(first.gain);
    EXPECT_EQ(first.band, 0);
    EXPECT_EQ(first.frequencyHz, 1104.0f);
    EXPECT_EQ(first.gainStep, r.drag.State().pendingGainStep);
    EXPECT_FALSE(r.drag.TakeApply().Any());

    r.MoveTo(27, 7);  // across only
    DragApply across = r.drag.TakeApply();
    EXPECT_TRUE(across.frequency);
    EXPECT_FALSE(across.gain);

    r.MoveTo(7, 27);  // several moves between two ticks: only the last counts
    r.MoveTo(7, 37);
    DragApply down = r.drag.TakeApply();
    EXPECT_FALSE(down.frequency);
    EXPECT_TRUE(down.gain);
    EXPECT_EQ(down.gainStep, r.drag.State().appliedGainStep);

    // Released before the tick: still applied once.
    r.MoveTo(17, 7);
    r.drag.Release();
    EXPECT_TRUE(r.drag.TakeApply().frequency);
    // Pressed again without moving: nothing new.
    r.drag.Press(0, 7, 7);
    EXPECT_FALSE(r.drag.TakeApply().Any());
}

}  // namespace
}  // namespace tr640
