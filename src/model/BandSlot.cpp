// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/BandSlot.h"

namespace tr640 {

std::optional<BandSlotRef> BandSlot(int address, int activeMic) {
    const int page = PageOf(address);
    const int index = IndexOf(address);
    const int base = activeMic == 0 ? kFirstBandIndex[0] : kFirstBandIndex[1];
    constexpr int kLastBandIndex = 51;
    if (page == 0 || index < base || index > kLastBandIndex) return std::nullopt;
    return BandSlotRef{((index - base) / kSlotsPerBand) % kBandsPerMic, (index - base) % kSlotsPerBand};
}

int EffectiveAddress(int tag, int activeMic, const ParamStore& store) {
    const auto ref = BandSlot(tag, activeMic);
    if (!ref || (ref->slot != kSlotQ && ref->slot != kSlotQOther)) return tag;
    const int typeAddress = tag - ref->slot;
    return store.Shown(typeAddress) == 0 ? typeAddress + kSlotQ : typeAddress + kSlotQOther;
}

}  // namespace tr640
