// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamAddress.h"
#include "model/ParamStore.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace tr640 {

// Where each control of the main window stands in the address space: the
// value layer (the entry field or list box showing the value) and the
// companion layer (the track bar or bypass box of the same address).
struct ControlPlacement {
    ParamAddress address;
    std::string valueControl;      // object name, never empty
    std::string companionControl;  // object name, empty when there is none
};

// The complete population of both layers, in page and index order.
const std::vector<ControlPlacement>& ControlPlacements();

// Two layers of control references indexed by page * 86 + index, with room
// for 12 pages. Templated on the control type so the model stays free of the
// widget toolkit; the main window instantiates it with its widget base.
template <typename Control>
class ControlMapOf {
public:
    static constexpr int kPageStride = 86;
    static constexpr int kPages = 12;

    Control* Value(int address) const { return Slot(values_, address); }
    Control* Companion(int address) const { return Slot(companions_, address); }
    void SetValue(int address, Control* c) { SetSlot(values_, address, c); }
    void SetCompanion(int address, Control* c) { SetSlot(companions_, address, c); }

private:
    using Layer = std::array<Control*, kPageStride * kPages>;

    static int SlotIndex(int address) {
        const int page = PageOf(address);
        const int index = IndexOf(address);
        if (page < 0 || page >= kPages || index < 0 || index >= kPageStride) return -1;
        return page * kPageStride + index;
    }
    static Control* Slot(const Layer& layer, int address) {
        const int i = SlotIndex(address);
        return i < 0 ? nullptr : layer[i];
    }
    static void SetSlot(Layer& layer, int address, Control* c) {
        const int i = SlotIndex(address);
        if (i >= 0) layer[i] = c;
    }

    Layer values_{};
    Layer companions_{};
};

// Fills both layers from ControlPlacements(), stamps every placed control's
// tag with its address (a Q field stands at two addresses and keeps the later
// one, its slot 4), and sets the device image to 1 at every covered address.
// `find` resolves an object name to a control; `setTag` writes the tag.
template <typename Control>
void BuildControlMap(ControlMapOf<Control>& map, ParamStore& store,
                     const std::function<Control*(const std::string&)>& find,
                     const std::function<void(Control*, int)>& setTag) {
    for (const ControlPlacement& p : ControlPlacements()) {
        map.SetValue(p.address, find(p.valueControl));
        if (!p.companionControl.empty()) map.SetCompanion(p.address, find(p.companionControl));
    }
    for (int page = 0; page <= kLastPage; ++page) {
        for (int index = 0; index < kPageCount[page]; ++index) {
            const int address = MakeAddress(page, index);
            if (Control* c = map.Value(address)) setTag(c, address);
            if (Control* c = map.Companion(address)) setTag(c, address);
            store.SetDevice(address, 1);
        }
    }
}

}  // namespace tr640
