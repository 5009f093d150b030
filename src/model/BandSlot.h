// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamAddress.h"
#include "model/ParamStore.h"

#include <optional>

namespace tr640 {

struct BandSlotRef {
    int band = 0;  // 0 .. 4
    int slot = 0;  // 0 .. 4, see BandSlotIndex
    friend bool operator==(const BandSlotRef&, const BandSlotRef&) = default;
};

// The band and slot of an EQ address for the microphone whose page is shown.
// With microphone 1 active the addresses of microphone 2's bands resolve as
// well (the band arithmetic wraps); with microphone 2 active, microphone 1's
// addresses do not.
std::optional<BandSlotRef> BandSlot(int address, int activeMic);

// The address a control's tag stands for. A Q field carries its slot 4
// address but edits slot 3 while its band's type value is exactly 0
// (a plain parametric band); every other tag stands for itself.
int EffectiveAddress(int tag, int activeMic, const ParamStore& store);

}  // namespace tr640
