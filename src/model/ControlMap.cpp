// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ControlMap.h"

#include "model/ParamCatalogue.h"

namespace tr640 {

namespace {

// The controls stand where the catalogue of names puts them, so the windows
// and the command line read every address from the same table.
std::vector<ControlPlacement> MakePlacements() {
    std::vector<ControlPlacement> out;
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.valueControl.empty() && e.companionControl.empty()) continue;
        if (out.empty() || out.back().address != e.address) out.push_back({e.address, {}, {}});
        if (!e.valueControl.empty()) out.back().valueControl = e.valueControl;
        if (!e.companionControl.empty()) out.back().companionControl = e.companionControl;
    }
    return out;
}

}  // namespace

const std::vector<ControlPlacement>& ControlPlacements() {
    static const std::vector<ControlPlacement> placements = MakePlacements();
    return placements;
}

}  // namespace tr640
