// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/BridgePayloads.h"

#include "mqtt/JsonText.h"
#include "model/ParamText.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"
#include "presets/FileSystem.h"

#include <map>

namespace tr640 {

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::string_view(" \t\r\n").find(text.front()) != std::string_view::npos)
        text.remove_prefix(1);
    while (!text.empty() && std::string_view(" \t\r\n").find(text.back()) != std::string_view::npos)
        text.remove_suffix(1);
    return text;
}

std::string TransactionJson(const JsonScalar& value) {
    return value.kind == JsonScalar::Kind::String ? JsonQuote(value.text) : value.text;
}

// The text a JSON value stands for, as a person would type it.
std::optional<std::string> ValueText(const JsonScalar& value) {
    if (value.kind == JsonScalar::Kind::Null) return std::nullopt;
    return value.text;
}

bool IsTransaction(const std::pair<std::string, JsonScalar>& member) { return member.first == "transaction"; }

bool ValidTransaction(const JsonScalar& value) {
    return value.kind == JsonScalar::Kind::String || value.kind == JsonScalar::Kind::Number;
}

std::string UnknownName(std::string_view name) {
    std::string line = "unknown parameter '" + std::string(name) + "'";
    const std::vector<std::string> near = NearestParamNames(name);
    for (std::size_t i = 0; i < near.size(); ++i) line += (i ? ", " : " (did you mean ") + near[i];
    return near.empty() ? line : line + "?)";
}

// A value checked against its entry; a band's type and bypass share a slot,
// so a change of one keeps the other as `current` holds it. A step or a
// toggle starts from the value the unit confirmed.
ChangeList CheckOne(std::string_view name, std::string_view text, std::optional<std::int32_t> current) {
    const ParamEntry* entry = FindParam(name);
    if (!entry) return {false, UnknownName(name), {}};
    if (!IsStateEntry(*entry)) return {false, std::string(name) + " is a command: use mode/recall or mode/save", {}};
    const ParamChange change = ChangeOfValue(name, text);
    const bool sharesSlot = entry->format == ParamFormat::Bypass || entry->format == ParamFormat::BandType;
    if ((sharesSlot || change.how != ChangeHow::Absolute) && !current)
        return {false, "the unit has not sent " + std::string(name) + " yet", {}};
    const AppliedChange applied = ApplyParamChange(*entry, change, current.value_or(0));
    if (!applied.ok) return {false, applied.error, {}};
    return {true, {}, {{entry->address, applied.raw}}};
}

// The number of a formatted value and what follows it: "1000.0Hz" -> "1000.0"
// and "Hz"; "Atk x 8" -> "8" and nothing, the number not leading the text.
std::pair<std::string, std::string> NumberAndUnit(const std::string& shown) {
    const std::size_t start = shown.find_first_of("-0123456789");
    if (start == std::string::npos) return {shown, {}};
    const std::size_t end = shown.find_first_not_of("-0123456789.", start);
    std::string number = shown.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string unit = start == 0 && end != std::string::npos ? std::string(Trimmed(shown.substr(end))) : "";
    return {std::move(number), std::move(unit)};
}

}  // namespace

CommandEnvelope OpenEnvelope(std::string_view payload) {
    const std::string_view text = Trimmed(payload);
    if (text.empty() || text.front() != '{') return {true, {}, std::string(text), {}};
    const FlatJsonResult json = ParseFlatJsonObject(text);
    if (!json.object) return {false, "malformed payload: " + json.error, {}, {}};
    CommandEnvelope envelope;
    bool hasValue = false;
    for (const auto& member : json.object->members) {
        if (IsTransaction(member)) {
            if (!ValidTransaction(member.second)) return {false, "the transaction must be a string or a number", {}, {}};
            envelope.transactionJson = TransactionJson(member.second);
        } else if (member.first == "value") {
            const auto value = ValueText(member.second);
            if (!value) return {false, "the value must not be null", {}, {}};
            envelope.value = *value;
            hasValue = true;
        } else {
            return {false, "unexpected member '" + member.first + "': give \"value\" and \"transaction\" only", {},
                    envelope.transactionJson};
        }
    }
    if (!hasValue) return {false, "the JSON payload has no \"value\"", {}, envelope.transactionJson};
    envelope.ok = true;
    return envelope;
}

std::string TransactionOf(std::string_view payload) {
    const FlatJsonResult json = ParseFlatJsonObject(Trimmed(payload));
    if (!json.object) return {};
    for (const auto& member : json.object->members)
        if (IsTransaction(member) && ValidTransaction(member.second)) return TransactionJson(member.second);
    return {};
}

ChangeList ParseOneChange(std::string_view name, std::string_view text, const HeldValue& held) {
    const ParamEntry* entry = FindParam(name);
    return CheckOne(name, text, entry ? held(entry->address) : std::nullopt);
}

ChangeList ParseChangeSet(std::string_view payload, const HeldValue& held, std::string& transactionJson) {
    const FlatJsonResult json = ParseFlatJsonObject(Trimmed(payload));
    if (!json.object) return {false, "malformed payload: " + json.error, {}};
    ChangeList all{true, {}, {}};
    // Two names can share a slot (a band's type and bypass): the second
    // builds on the first's checked value, and the slot is sent once.
    auto current = [&](ParamAddress address) -> std::optional<std::int32_t> {
        for (const auto& change : all.changes)
            if (change.first == address) return change.second;
        return held(address);
    };
    for (const auto& member : json.object->members) {
        if (!IsTransaction(member)) continue;
        if (!ValidTransaction(member.second)) return {false, "the transaction must be a string or a number", {}};
        transactionJson = TransactionJson(member.second);
    }
    for (const auto& member : json.object->members) {
        if (IsTransaction(member)) continue;
        const auto text = ValueText(member.second);
        if (!text) return {false, "the value of " + member.first + " must not be null", {}};
        const ParamEntry* entry = FindParam(member.first);
        ChangeList one = CheckOne(member.first, *text, entry ? current(entry->address) : std::nullopt);
        if (!one.ok) return one;
        for (auto& change : all.changes)
            if (change.first == one.changes[0].first) change.second = one.changes[0].second, one.changes.clear();
        all.changes.insert(all.changes.end(), one.changes.begin(), one.changes.end());
    }
    if (all.changes.empty()) return {false, "the JSON set names no parameter", {}};
    return all;
}

ChangeList ReadStateJson(std::string_view payload) {
    const FlatJsonResult json = ParseFlatJsonObject(Trimmed(payload));
    if (!json.object) return {false, "malformed state: " + json.error, {}};
    // Each value on its own: one the unit holds outside its range (a
    // preset of zeros, say) leaves that value out, not the whole image. A
    // band's type and bypass build on each other in their shared slot.
    std::map<ParamAddress, std::int32_t> image;
    for (const auto& [name, value] : json.object->members) {
        const ParamEntry* entry = FindParam(name);
        const std::optional<std::string> text = ValueText(value);
        if (!entry || !text) continue;
        const auto slot = image.find(entry->address);
        const ChangeList one = CheckOne(name, *text, slot == image.end() ? 0 : slot->second);
        if (one.ok) image[entry->address] = one.changes.front().second;
    }
    return {true, {}, std::vector<std::pair<int, std::int32_t>>(image.begin(), image.end())};
}

ModeNumber ParseModeNumber(std::string_view text) {
    const ParamEntry* recall = FindParam("mode.recall");
    const ParsedValue parsed = ParseParamValue(*recall, Trimmed(text), 0);
    if (!parsed.ok) return {false, 0, "mode '" + std::string(Trimmed(text)) + "' is not one of " + ParamRangeText(*recall)};
    return {true, parsed.raw + 1, {}};
}

PresetPush ReadPresetPush(std::string_view bytes, ParamStore& store) {
    if (bytes.size() > kMaxPresetPushBytes) return {false, "the preset is larger than 1 MiB"};
    if (bytes.empty()) return {false, "the preset is empty"};
    const PresetReadResult read = ReadPresetLines(SplitPresetLines(bytes), store);
    switch (read.outcome) {
    case PresetOutcome::Accepted: return {true, {}};
    case PresetOutcome::WrongDeviceType: return {false, "the preset is for another device type"};
    case PresetOutcome::Damaged: return {false, "the preset is damaged (its checksum does not match)"};
    case PresetOutcome::Error: break;
    }
    return {false, "the preset cannot be read: " + read.message};
}

bool IsStateEntry(const ParamEntry& entry) { return entry.format != ParamFormat::Command; }

StateValue FormatStateValue(const ParamEntry& entry, std::int32_t raw) {
    switch (entry.format) {
    case ParamFormat::Bypass: {
        const std::string text = FormatParamValue(entry, raw) == "on" ? "true" : "false";
        return {text, text};
    }
    case ParamFormat::List:
    case ParamFormat::Command:
    case ParamFormat::BandType: {
        const int index = entry.format == ParamFormat::BandType ? raw % kBypassOffset : raw;
        const std::string word = index >= 0 && index < static_cast<int>(entry.items.size())
                                     ? entry.items[static_cast<std::size_t>(index)].word
                                     : FormatParamValue(entry, raw);
        return {word, JsonQuote(word)};
    }
    case ParamFormat::CurvePoint: {
        std::string text = FormatParamValue(entry, raw);
        for (std::size_t at; (at = text.find("dB")) != std::string::npos;) text.erase(at, 2);
        return {text, JsonQuote(text)};
    }
    case ParamFormat::Kind: break;
    }
    const std::string number = NumberAndUnit(FormatParamValue(entry, raw)).first;
    return {number, number};
}

std::string StateUnitText(const ParamEntry& entry) {
    if (entry.format != ParamFormat::Kind) return {};
    return NumberAndUnit(FormatParamValue(entry, entry.min)).second;
}

std::string StateJson(const HeldValue& held) {
    JsonObjectText state;
    for (const ParamEntry& entry : ParamCatalogue()) {
        if (!IsStateEntry(entry)) continue;
        if (const auto raw = held(entry.address)) state.Raw(entry.name, FormatStateValue(entry, *raw).json);
    }
    return state.Text();
}

std::string ResponseJson(std::string_view command, bool ok, std::string_view error, std::string_view transactionJson) {
    JsonObjectText response;
    response.String("command", command).String("status", ok ? "ok" : "error");
    if (!ok) response.String("error", error);
    if (!transactionJson.empty()) response.Raw("transaction", transactionJson);
    return response.Text();
}

std::string UnitsJson(const std::vector<UnitListEntry>& units) {
    std::vector<std::string> items;
    for (const UnitListEntry& unit : units) {
        JsonObjectText item;
        item.String("serial", unit.serial).String("path", unit.path).String("product", unit.product);
        item.Bool("linked", unit.linked);
        if (!unit.whyNot.empty()) item.String("why_not", unit.whyNot);
        items.push_back(item.Text());
    }
    return JsonArrayText(items);
}

}  // namespace tr640
