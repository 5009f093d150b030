// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/HandleDrag.h"

#include "model/ParamCatalogue.h"
#include "model/ValueKinds.h"

#include <algorithm>

namespace tr640 {

bool HandleDrag::Press(int tag, int x, int y) {
    state_.pressX = x;
    state_.pressY = y;
    state_.dragging = true;
    state_.draggedHandle = tag;
    return tag >= 0 && tag <= kLastBandHandleTag;
}

std::optional<Place> HandleDrag::Move(int x, int y, const Rect& handle, int imageTop, int imageHeight,
                                      const GraphScale& scale) {
    if (!state_.dragging || state_.draggedHandle == -1) return std::nullopt;
    // Handles are square; the same half side serves both directions.
    const int half = handle.height / 2;
    Place to{handle.left + (x - state_.pressX), handle.top + (y - state_.pressY)};

    // The handle's centre stays on the surface vertically.
    const int highest = imageTop - half;
    const int lowest = Nearest(static_cast<double>(imageTop) + imageHeight - half);
    if (to.top < highest) {
        to.top = highest;
    } else if (to.top > lowest) {
        to.top = lowest;
    }

    // Every band's frequency field has the same limits.
    static const ParamEntry& limits = *FindFieldParam(BandAddress(0, 0, kSlotFrequency));
    int frequency = Nearest(scale.Frequency(to.left + half));
    if (frequency < limits.min) {
        frequency = limits.min;
        to.left = Nearest(scale.X(limits.min) - half);
    } else if (frequency > limits.max) {
        frequency = limits.max;
        to.left = Nearest(scale.X(limits.max) - half);
    }
    const double level = std::clamp(scale.Level(to.top + half), kGraphBottomLevel, kGraphTopLevel);

    state_.dragBand = state_.draggedHandle;
    state_.pendingFrequency = static_cast<float>(frequency);
    state_.pendingGainStep = static_cast<float>(Nearest((level - kLowestGainDb) * kGainStepsPerDb));
    return to;
}

DragApply HandleDrag::TakeApply() {
    DragApply apply;
    apply.band = state_.dragBand;
    apply.frequencyHz = state_.pendingFrequency;
    apply.gainStep = state_.pendingGainStep;
    apply.frequency = state_.pendingFrequency != state_.appliedFrequency;
    apply.gain = state_.pendingGainStep != state_.appliedGainStep;
    if (apply.frequency) state_.appliedFrequency = state_.pendingFrequency;
    if (apply.gain) state_.appliedGainStep = state_.pendingGainStep;
    return apply;
}

}  // namespace tr640
