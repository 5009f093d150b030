// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamAddress.h"

#include <cstdint>
#include <string>

namespace tr640 {

// A change that may alter the EQ curve: the address and the raw value.
struct CurveChange {
    int address = 0;
    std::int32_t value = 0;
    friend bool operator==(const CurveChange&, const CurveChange&) = default;
};

// State the windows share about the parameter model. `Field` is the type of
// an entry field; nullptr never occurs once the window exists, because the
// hidden field `Example` stands for "no field".
template <typename Field>
struct ModelStateOf {
    int activeMic = 0;               // selected EQ page: 0 microphone 1, 1 microphone 2
    bool refreshInProgress = false;  // BuildControlMap / RefreshAll running
    Field* currentField = nullptr;   // the field keys, wheel and commits act on
    std::string lastAcceptedText;    // currentField's text as last accepted (UTF-8)
    bool wheelArmed = false;         // the wheel steps currentField
    bool trackGuard = false;         // ApplyValue is moving a track bar
    CurveChange lastChange;          // last change that may alter the EQ curve
    CurveChange lastDrawn;           // the lastChange the refresh timer acted on
};

}  // namespace tr640
