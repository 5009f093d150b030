// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamAddress.h"

#include <string>
#include <string_view>
#include <vector>

namespace tr640 {

// How a parameter's raw value reads as text.
enum class ParamFormat {
    List,        // the raw value is the item index of a list box
    BandType,    // a band's slot 0 without its bypass: the filter type 0 .. 4
    Bypass,      // a band's slot 0, only whether 10 is added: on or off
    Kind,        // an entry field's value kind (ValueKinds.h)
    CurvePoint,  // a compressor curve point: input and output level in dB
    Command,     // a mode command: acting, not a setting (recall, save)
};

// One item of a list. `word` is what a command line prints and takes; the
// windows show `windowText` instead, a text in their source language that
// their language tables translate, "%1" in it standing for `number`.
struct ParamItem {
    std::string word;
    std::string windowText;
    int number = 0;
};

// One named parameter. Two entries share an address where one value has two
// faces: a band's type and its bypass live in the same slot, as the type box
// (value layer) and the bypass box (companion layer) show it.
struct ParamEntry {
    std::string name;         // stable and readable: "mic1.eq3.gain"
    ParamAddress address = 0;
    ParamFormat format = ParamFormat::Kind;
    int kind = 0;             // ParamFormat::Kind only
    int min = 0;              // raw limits of what may be set
    int max = 0;
    std::vector<ParamItem> items;  // List, BandType and Command
    std::string description;       // one line of English
    std::string valueControl;      // the main window's control on the value layer, or empty
    std::string companionControl;  // its companion (track bar, bypass box), or empty
};

// Every parameter the windows show, page 0 first, each once by name, in
// address order; the mode commands are among them.
const std::vector<ParamEntry>& ParamCatalogue();

// The entry of an exact name, or null.
const ParamEntry* FindParam(std::string_view name);

// The entry of the entry field at an address (ParamFormat::Kind), or null.
const ParamEntry* FindFieldParam(ParamAddress address);

// The first entry a control of the main window stands for, on either layer,
// or null (a Q field stands for two: its slot 3 entry comes first).
const ParamEntry* FindParamOfControl(std::string_view control);

// An item's text as the windows show it in their source language, its
// number put in: "4级".
std::string WindowItemText(const ParamItem& item);

}  // namespace tr640
