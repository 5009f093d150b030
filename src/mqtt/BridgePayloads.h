// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the bridge reads from command payloads and writes into state and
// response payloads. Plain C++ over the parameter catalogue and the value
// text of the command line, so the fuzzer runs it without Qt. Every check
// happens here, before anything reaches a unit.

#include "model/ParamAddress.h"
#include "model/ParamCatalogue.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tr640 {

class ParamStore;

// A preset file pushed over the broker is held to the size a load reads.
inline constexpr std::size_t kMaxPresetPushBytes = 1024 * 1024;

// A command's payload: the plain text, or `{"value": ..., "transaction": ...}`
// whose transaction comes back in the response.
struct CommandEnvelope {
    bool ok = false;
    std::string error;
    std::string value;
    std::string transactionJson;  // the transaction as JSON text, empty when none was given
};
CommandEnvelope OpenEnvelope(std::string_view payload);
// The transaction of any JSON payload (a value's envelope, a JSON set) as
// JSON text, empty when there is none: a command refused before it is read
// still gets its id back.
std::string TransactionOf(std::string_view payload);

// The raw value a unit holds at an address, or nothing when it never sent it.
using HeldValue = std::function<std::optional<std::int32_t>(ParamAddress)>;

// Changes to send as one burst, all checked, or why none may be sent.
struct ChangeList {
    bool ok = false;
    std::string error;
    std::vector<std::pair<int, std::int32_t>> changes;  // address, raw value
};
// One parameter by name, the value as `tr640ctl set` takes it.
ChangeList ParseOneChange(std::string_view name, std::string_view text, const HeldValue& held);
// A JSON object of names to values (and an optional "transaction").
ChangeList ParseChangeSet(std::string_view payload, const HeldValue& held, std::string& transactionJson);

// A user mode 1 .. 5, or why the text is none.
struct ModeNumber {
    bool ok = false;
    int mode = 0;
    std::string error;
};
ModeNumber ParseModeNumber(std::string_view text);

// A preset file's bytes read all or nothing into `store`'s device image, as
// the load button reads a file; `store` is untouched unless ok.
struct PresetPush {
    bool ok = false;
    std::string error;
};
PresetPush ReadPresetPush(std::string_view bytes, ParamStore& store);

// A value as the state topics carry it: numbers in their unit without the
// unit text, list items by their English word, a bypass true/false, a curve
// point "-40:-20". `json` is the same value as JSON text.
struct StateValue {
    std::string text;
    std::string json;
};
StateValue FormatStateValue(const ParamEntry& entry, std::int32_t raw);
// The unit text a number of the entry goes without ("Hz", "dB", "%", "ms"),
// empty for a plain number or anything that is not one.
std::string StateUnitText(const ParamEntry& entry);
// Whether the state carries the entry (the mode commands act, they hold nothing).
bool IsStateEntry(const ParamEntry& entry);

// The whole state object of a unit: every catalogue name it has a value for.
std::string StateJson(const HeldValue& held);

// A state object read back into raw values, as a client of the bridge
// rebuilds the unit's image from it: the same reading as a JSON set's.
ChangeList ReadStateJson(std::string_view payload);

// The response to one command.
std::string ResponseJson(std::string_view command, bool ok, std::string_view error, std::string_view transactionJson);

// One unit in the bridge's list of units.
struct UnitListEntry {
    std::string serial;
    std::string path;
    std::string product;
    bool linked = false;
    std::string whyNot;  // empty while linked or linking: "access", "held by tr640ctl (pid 123)", ...
};
std::string UnitsJson(const std::vector<UnitListEntry>& units);

}  // namespace tr640
