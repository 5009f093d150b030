// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ParamStore.h"

namespace tr640 {

bool ParamStore::InShownImage(int page, int index) {
    return page >= 0 && page < kPages && index >= 0 && index < kShownWidth;
}

bool ParamStore::InDeviceImage(int page, int index) {
    return page >= 0 && page < kPages && index >= 0 && index < kDeviceWidth;
}

std::int32_t ParamStore::Shown(int page, int index) const {
    return InShownImage(page, index) ? shown_[page][index] : 0;
}

std::int32_t ParamStore::Device(int page, int index) const {
    return InDeviceImage(page, index) ? device_[page][index] : 0;
}

std::int32_t ParamStore::Shown(int address) const { return Shown(PageOf(address), IndexOf(address)); }
std::int32_t ParamStore::Device(int address) const { return Device(PageOf(address), IndexOf(address)); }

bool ParamStore::SetShown(int page, int index, std::int32_t value) {
    if (!InShownImage(page, index)) return false;
    shown_[page][index] = value;
    return true;
}

bool ParamStore::SetDevice(int page, int index, std::int32_t value) {
    if (!InDeviceImage(page, index)) return false;
    device_[page][index] = value;
    return true;
}

bool ParamStore::SetShown(int address, std::int32_t value) {
    return SetShown(PageOf(address), IndexOf(address), value);
}

bool ParamStore::SetDevice(int address, std::int32_t value) {
    return SetDevice(PageOf(address), IndexOf(address), value);
}

void ParamStore::SetBoth(int address, std::int32_t value) {
    SetShown(address, value);
    SetDevice(address, value);
}

void ParamStore::CopyDeviceToShown() {
    for (int page = 0; page <= kLastPage; ++page) {
        for (int index = 0; index < kPageCount[page]; ++index) {
            shown_[page][index] = device_[page][index];
        }
    }
}

}  // namespace tr640
