// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/BandReadout.h"

#include "model/DecimalFormat.h"
#include "model/ValueKinds.h"

namespace tr640 {

Place HandlePlace(const GraphScale& scale, const EqBand& band, int halfSide) {
    return {Nearest(scale.X(band.frequency) - halfSide), Nearest(scale.Y(HandleLevel(band)) - halfSide)};
}

std::string ReadoutText(const EqBand& band) {
    const std::string frequency = FormatFixed(band.frequency, 2) + "Hz";
    if (IsPassBand(band.type)) return frequency;
    return FormatFixed(band.gain, 1) + "dB\nQ:" + FormatFixed(band.q, 2) + "\n" + frequency;
}

Place ReadoutPlace(const EqBand& band, const Rect& handle, int width, int height) {
    const int left = handle.left + handle.width / 2 - width / 2;
    if (IsPassBand(band.type)) return {left, handle.top + handle.height - 5};
    if (band.gain >= 0) return {left, handle.top + handle.height};
    return {left, handle.top - height - 1};
}

}  // namespace tr640
