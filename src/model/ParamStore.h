// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamAddress.h"

#include <array>
#include <cstdint>

namespace tr640 {

// Two images of every device value. The shown image is what the controls
// show and what presets are saved from; the device image is what was last
// read from the device or loaded from a preset, and what write transfers
// send. Changes made in the windows go into both; the two only drift apart
// between a read or preset load and the next refresh.
class ParamStore {
public:
    static constexpr int kPages = 3;
    static constexpr int kShownWidth = 86;
    static constexpr int kDeviceWidth = 113;

    // Reads outside an image give 0 and writes outside it are ignored: read
    // replies and preset lines carry whatever page and index they claim.
    std::int32_t Shown(int address) const;
    std::int32_t Device(int address) const;
    std::int32_t Shown(int page, int index) const;
    std::int32_t Device(int page, int index) const;
    bool SetShown(int address, std::int32_t value);
    bool SetDevice(int address, std::int32_t value);
    bool SetShown(int page, int index, std::int32_t value);
    bool SetDevice(int page, int index, std::int32_t value);
    void SetBoth(int address, std::int32_t value);

    static bool InShownImage(int page, int index);
    static bool InDeviceImage(int page, int index);

    // Copies the device image into the shown image over the page table's
    // addresses only (page 0 indices 0..14, page 1 indices 0..82).
    void CopyDeviceToShown();
    // Puts back another store's device image; the shown image stays.
    void CopyDeviceImageFrom(const ParamStore& other) { device_ = other.device_; }

private:
    std::array<std::array<std::int32_t, kShownWidth>, kPages> shown_{};
    std::array<std::array<std::int32_t, kDeviceWidth>, kPages> device_{};
};

}  // namespace tr640
