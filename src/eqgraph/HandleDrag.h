// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eqgraph/BandReadout.h"
#include "eqgraph/GraphGeometry.h"

#include <optional>

namespace tr640 {

// ---------------------------------------------------------------------------
// Dragging a band handle. The mouse only moves the handle and works out a
// frequency and a gain step from where it is; the refresh timer picks the
// values up once per tick (TakeApply) and sends them through the band's
// fields, so a fast drag sends at most one frequency and one gain per tick
// and never the positions in between.

// Handles whose band the drag edits: EP1 .. EP15 (tags 0 .. 14). The pass
// filter handles HPF and LPF (15, 16) move but select no band.
inline constexpr int kLastBandHandleTag = 14;

// The drag's limits across and up: a handle cannot leave its band frequency
// field's limits sideways (the catalogue's), and its gain stays within the
// gain field's range.
inline constexpr int kGainStepsPerDb = 5;
inline constexpr int kLowestGainDb = -30;

struct DragState {
    bool dragging = false;
    int pressX = 0;  // the mouse inside the handle when it was pressed
    int pressY = 0;
    int draggedHandle = 0;  // tag of the pressed handle, -1 when the press was not on a handle
    int dragBand = 0;       // the band whose values the timer applies
    float pendingFrequency = 0;  // whole Hz, from the last mouse move
    float pendingGainStep = 0;   // (dB + 30) * 5, whole, 0 .. 210
    float appliedFrequency = 0;  // what the timer applied last
    float appliedGainStep = 0;
};

// What one tick of the refresh timer applies, frequency before gain.
struct DragApply {
    bool frequency = false;
    bool gain = false;
    int band = 0;
    float frequencyHz = 0;
    float gainStep = 0;
    bool Any() const { return frequency || gain; }
};

class HandleDrag {
public:
    const DragState& State() const { return state_; }

    // The mouse goes down at (x, y) inside the handle with tag `tag` (-1 when
    // the sender is not a handle). True when the press selects a band, whose
    // frequency field then becomes the current field.
    bool Press(int tag, int x, int y);

    // The mouse moved to (x, y) inside the handle that sits at `handle`
    // (inside the surface's panel); the surface spans rows imageTop ..
    // imageTop + imageHeight. Works out the pending values and returns
    // where the handle goes, or nothing when no drag is under way.
    std::optional<Place> Move(int x, int y, const Rect& handle, int imageTop, int imageHeight,
                              const GraphScale& scale);

    void Release() { state_.dragging = false; }

    // A handle is held, or the last move worked out values not applied yet.
    bool WorkWaiting() const {
        return state_.dragging || state_.pendingFrequency != state_.appliedFrequency ||
               state_.pendingGainStep != state_.appliedGainStep;
    }

    // The refresh timer's step: the pending values that differ from those
    // applied last, which count as applied from here on.
    DragApply TakeApply();

private:
    DragState state_;
};

}  // namespace tr640
