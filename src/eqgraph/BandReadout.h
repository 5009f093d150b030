// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eqgraph/FilterDesign.h"
#include "eqgraph/GraphGeometry.h"

#include <string>

namespace tr640 {

// ---------------------------------------------------------------------------
// Where a band's handle sits and what its readout says. The handle marks the
// band's stored frequency (not the grid point its curve snaps to) and its
// gain, or 0 dB for a pass filter, whose gain shapes nothing.

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The handle's top-left corner, with `halfSide` pixels from it to its centre.
Place HandlePlace(const GraphScale& scale, const EqBand& band, int halfSide);

// The readout's lines, joined with '\n': "80.00Hz" for a pass filter;
// otherwise gain, Q and frequency, as "6.0dB", "Q:4.00", "1000.00Hz" (a
// negative gain as "-3.2dB", no plus sign on a positive one).
std::string ReadoutText(const EqBand& band);

// Where the readout of `width` x `height` goes beside its handle: centred
// across it; a pass filter's single line reaches 5 pixels up into the
// handle's bottom edge, a boost hangs under the handle and a cut stands
// above it with one pixel between.
Place ReadoutPlace(const EqBand& band, const Rect& handle, int width, int height);

}  // namespace tr640
