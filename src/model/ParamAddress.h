// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace tr640 {

// Every device setting lives at a 16-bit address: the page in the high byte,
// the index within the page in the low byte.
using ParamAddress = std::uint16_t;

constexpr int PageOf(int address) { return address / 256; }
constexpr int IndexOf(int address) { return address % 256; }
constexpr ParamAddress MakeAddress(int page, int index) {
    return static_cast<ParamAddress>(page * 256 + index);
}

// Pages the device uses: 0 holds the system settings, 1 both microphones.
inline constexpr int kLastPage = 1;

// Indices covered by transfers, refreshes and the store copy: 0 .. count-1.
inline constexpr int kPageCount[kLastPage + 1] = {15, 83};

// Ten-value blocks per page (count div 10); a page is covered by blocks
// 0 .. kBlocksPerPage[page], so the last block runs past the last parameter.
inline constexpr int kBlocksPerPage[kLastPage + 1] = {kPageCount[0] / 10, kPageCount[1] / 10};

// The device reports values up to this index; anything above is dropped.
inline constexpr int kDeviceIndexLimit = 84;

// First EQ band index of each microphone on page 1; a band is five
// consecutive slots (type, frequency, gain, Q for type 0, Q for other types).
inline constexpr int kFirstBandIndex[2] = {2, 27};
inline constexpr int kBandsPerMic = 5;
inline constexpr int kSlotsPerBand = 5;

enum BandSlotIndex : int { kSlotType = 0, kSlotFrequency = 1, kSlotGain = 2, kSlotQ = 3, kSlotQOther = 4 };

constexpr ParamAddress BandAddress(int mic, int band, int slot) {
    return MakeAddress(1, kFirstBandIndex[mic] + kSlotsPerBand * band + slot);
}

// Addresses the main window and the link treat specially.
inline constexpr ParamAddress kAddrNoiseGate = 0x0008;
inline constexpr ParamAddress kAddrAntiFeedback = 0x000B;
inline constexpr ParamAddress kAddrModeRecall = 0x000C;
inline constexpr ParamAddress kAddrModeSave = 0x000D;
inline constexpr ParamAddress kAddrMasterVolume = 0x000E;
inline constexpr ParamAddress kAddrMic1InputVolume = 0x0134;
inline constexpr ParamAddress kAddrMic1Phase = 0x0135;
inline constexpr ParamAddress kAddrMic2InputVolume = 0x0136;
inline constexpr ParamAddress kAddrMic2Phase = 0x0137;
inline constexpr ParamAddress kAddrPowerEx = 0x0138;
inline constexpr ParamAddress kAddrLowCrossover = 0x0139;
inline constexpr ParamAddress kAddrHighCrossover = 0x013A;

// Dynamics band k (0 low, 1 mid, 2 high): attack, hold, release, then the
// five points of its compressor curve.
constexpr ParamAddress DynamicsAttackAddress(int k) { return static_cast<ParamAddress>(0x013B + 8 * k); }
constexpr ParamAddress DynamicsHoldAddress(int k) { return static_cast<ParamAddress>(0x013C + 8 * k); }
constexpr ParamAddress DynamicsReleaseAddress(int k) { return static_cast<ParamAddress>(0x013D + 8 * k); }
constexpr ParamAddress CompressorPointAddress(int k, int point) {
    return static_cast<ParamAddress>(0x013E + 8 * k + point);
}

}  // namespace tr640
