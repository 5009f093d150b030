// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Parameter names and values as text, for the front ends that speak to a
// person in words (tr640ctl, the bridge): a value is written as the entry
// fields show it or as its item's word, and read back from the same text.
// Plain C++: the fuzzer runs it without Qt.

#include "model/ParamCatalogue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tr640 {

// The value's text: the value kind's text as the entry field shows it, the
// list item's word (what `ParseParamValue` takes and `ParamRangeText`
// lists), "on"/"off" for a bypass, "-40dB:-20dB" for a curve point.
std::string FormatParamValue(const ParamEntry& entry, std::int32_t raw);

// A typed value turned into the raw value to store, or why it cannot be.
struct ParsedValue {
    bool ok = false;
    std::int32_t raw = 0;
    std::string error;  // one line of English when not ok
};

// Checks a typed value against the parameter's encoding and limits; nothing
// is clamped, a value out of range or a blank one is an error. `current` is the raw value
// the unit holds now: a band's type and its bypass share one slot, so each
// keeps the other's part.
//
// Accepted forms, case-insensitive, spaces around the number allowed:
//   frequency  "1000", "1000Hz", "1.2k", "1.2kHz"
//   gain       "-3.5", "-3.5dB"
//   Q          "2.4" (the nearest table entry at or above it)
//   percent    "80", "80%"
//   time       "20", "20ms"
//   release    "9", "x9", "Atk x 9" (the number the windows show)
//   lists      the item's word, or the text the windows show in their
//              source language ("highpass", "高通")
//   bypass     on/off, yes/no, true/false, 1/0
//   curve      "-40:-20" or "-40dB:-20dB" (input:output)
ParsedValue ParseParamValue(const ParamEntry& entry, std::string_view text, std::int32_t current);

// The range of a parameter in words, for `tr640ctl names`: "20Hz .. 20000Hz".
std::string ParamRangeText(const ParamEntry& entry);

// The step a number moves by, in words ("0.2dB"); empty for lists.
std::string ParamStepText(const ParamEntry& entry);

// A number the unit cannot hold as typed is taken to a step of its own:
// the value taken as the windows show it, and why it differs.
struct ValueRounding {
    std::string taken;
    std::string why;  // one line of English
};
// Nothing when `raw`, the value `asked` was parsed to, shows the number asked.
std::optional<ValueRounding> RoundingOf(const ParamEntry& entry, std::string_view asked, std::int32_t raw);

// A change as a person writes it: a value to take ("NAME=VALUE"), a step up
// or down by an amount in the value's own unit ("NAME+=5", "NAME-=1.5dB"),
// or the other of a two-valued parameter's values ("NAME=toggle").
enum class ChangeHow { Absolute, StepUp, StepDown, Toggle };
struct ParamChange {
    std::string name;
    ChangeHow how = ChangeHow::Absolute;
    std::string value;  // the value or the amount; empty for a toggle
};
// False when the text has no '=' or no name.
bool ParseParamChange(std::string_view text, ParamChange& change);
// The change a value asks for where the name stands apart from it (an MQTT
// topic, a JSON member): "+=5", "-=1.5dB", "toggle", or a value to take.
ParamChange ChangeOfValue(std::string_view name, std::string_view value);

// The raw value a change leaves, taken from `current` (the raw value the
// unit holds). A step moves the number the entry field shows and is brought
// within the limits by the field's own rule: `clamped` says it stopped at a
// limit. A step on a value that is not a number, a toggle of one that is not
// two-valued, or an absolute value `ParseParamValue` refuses: not ok.
struct AppliedChange {
    bool ok = false;
    std::int32_t raw = 0;
    bool clamped = false;
    std::string error;  // one line of English when not ok
    std::string aimed;  // for a step, the number it aimed at, to tell a rounding by
};
AppliedChange ApplyParamChange(const ParamEntry& entry, const ParamChange& change, std::int32_t current);

// Up to `count` catalogue names closest to a mistyped one, closest first.
std::vector<std::string> NearestParamNames(std::string_view name, std::size_t count = 3);

// "NAME=VALUE" split at the first '='; false when there is none or the name
// is empty.
bool SplitAssignment(std::string_view text, std::string& name, std::string& value);

}  // namespace tr640
