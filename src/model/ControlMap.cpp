// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ControlMap.h"

namespace tr640 {

namespace {

std::vector<ControlPlacement> MakePlacements() {
    std::vector<ControlPlacement> out = {
        {0x0008, "SysNoiseBox", ""},
        {0x000B, "SysFBEBox", ""},
        {0x000C, "SysModeBox", ""},
        {0x000D, "SysSaveModeBox", ""},
        {0x000E, "SysTotalVolEdit", "SysTotalVolBar"},
    };
    for (int mic = 0; mic < 2; ++mic) {
        const std::string prefix = "Mic" + std::to_string(mic + 1);
        for (int band = 0; band < kBandsPerMic; ++band) {
            const std::string n = std::to_string(band + 1);
            out.push_back({BandAddress(mic, band, kSlotType), prefix + "ModeBox" + n, prefix + "BypassCheck" + n});
            out.push_back({BandAddress(mic, band, kSlotFrequency), prefix + "FreEdit" + n, ""});
            out.push_back({BandAddress(mic, band, kSlotGain), prefix + "GainEdit" + n, prefix + "GainBar" + n});
            out.push_back({BandAddress(mic, band, kSlotQ), prefix + "QEdit" + n, ""});
            out.push_back({BandAddress(mic, band, kSlotQOther), prefix + "QEdit" + n, ""});
        }
    }
    const std::vector<ControlPlacement> rest = {
        {0x0134, "Mic1INGainEdit", "Mic1INGainBar"},
        {0x0135, "Mic1PhaseBox", ""},
        {0x0136, "Mic2INGainEdit", "Mic2INGainBar"},
        {0x0137, "Mic2PhaseBox", ""},
        {0x0138, "MICBASSBox", ""},
        {0x0139, "MICLowFreEdit", ""},
        {0x013A, "MICHighFreEdit", ""},
        {0x013B, "LowRMSattackEdit", ""},
        {0x013C, "LowRMSHoldEdit", ""},
        {0x013D, "LowRMSReleaseEdit", ""},
        {0x0143, "MidRMSattackEdit", ""},
        {0x0144, "MidRMSHoldEdit", ""},
        {0x0145, "MidRMSReleaseEdit", ""},
        {0x014B, "HighRMSattackEdit", ""},
        {0x014C, "HighRMSHoldEdit", ""},
        {0x014D, "HighRMSReleaseEdit", ""},
    };
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

}  // namespace

const std::vector<ControlPlacement>& ControlPlacements() {
    static const std::vector<ControlPlacement> placements = MakePlacements();
    return placements;
}

}  // namespace tr640
