// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ParamText.h"

#include "model/CompressorCurve.h"
#include "model/DecimalFormat.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

namespace tr640 {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
    return text;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Strips one unit suffix if present (the text is lower case already).
std::string_view StripSuffix(std::string_view text, std::string_view suffix) {
    return EndsWith(text, suffix) ? Trim(text.substr(0, text.size() - suffix.size())) : text;
}

// A plain decimal number, "." as the separator, nothing else around it.
std::optional<double> Number(std::string_view text) {
    text = Trim(text);
    if (text.empty()) return std::nullopt;
    if (text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value,
                                           std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

ParsedValue Fail(std::string error) { return {false, 0, std::move(error)}; }
ParsedValue Ok(std::int32_t raw) { return {true, raw, {}}; }

std::string OutOfRange(const ParamEntry& e, std::string_view text) {
    return "value '" + std::string(text) + "' out of range for " + e.name + " (" + ParamRangeText(e) + ")";
}

std::string NotUnderstood(const ParamEntry& e, std::string_view text, std::string_view expected) {
    return "value '" + std::string(text) + "' not understood for " + e.name + " (expected " +
           std::string(expected) + ")";
}

// The number of a kind's typed text, its unit stripped.
std::optional<double> KindNumber(int kind, std::string_view lower) {
    switch (kind) {
    case kKindBandFrequency:
    case kKindCrossover: {
        std::string_view t = StripSuffix(lower, "hz");
        double scale = 1;
        if (EndsWith(t, "k")) {
            t = Trim(t.substr(0, t.size() - 1));
            scale = 1000;
        }
        const auto n = Number(t);
        return n ? std::optional<double>(*n * scale) : std::nullopt;
    }
    case kKindBandGain: return Number(StripSuffix(lower, "db"));
    case kKindPercent: return Number(StripSuffix(lower, "%"));
    case kKindTime: return Number(StripSuffix(lower, "ms"));
    case kKindRelease: {
        std::string_view t = lower;
        if (t.substr(0, 3) == "atk") t = Trim(t.substr(3));
        if (!t.empty() && t.front() == 'x') t = Trim(t.substr(1));
        return Number(t);
    }
    default: return Number(lower);
    }
}

const char* KindExpectation(int kind) {
    switch (kind) {
    case kKindBandFrequency:
    case kKindCrossover: return "a frequency such as 1000, 1000Hz or 1.2kHz";
    case kKindBandGain: return "a gain such as -3.6 or -3.6dB";
    case kKindBandQ: return "a Q such as 2.40";
    case kKindPercent: return "a percentage such as 80 or 80%";
    case kKindTime: return "a time such as 20 or 20ms";
    case kKindRelease: return "a release multiple such as 8 or 'Atk x 8'";
    default: return "a number";
    }
}

// The kind's raw value of a typed number, rounded as the entry field
// rounds it, or nothing when it lies outside the limits: nothing is clamped.
std::optional<std::int32_t> KindRaw(const ParamEntry& e, double number) {
    // A typed Q goes to the table entry at or above it, so anything above
    // the last allowed entry is out, and the table starts above 0.
    if (e.kind == kKindBandQ && (number <= 0 || number > QTableValue(e.max))) return std::nullopt;
    KindRuleInput in;
    in.entry = &e;
    in.source = Source::User;
    in.x = TextToRaw(e.kind, number);
    // The store is a scratch one: a Q's limit was checked against the entry.
    const KindRuleResult r = ApplyKindRule(in, ParamStore());
    if (r.clamped) return std::nullopt;
    return r.raw;
}

ParsedValue ParseKind(const ParamEntry& e, std::string_view text) {
    const auto number = KindNumber(e.kind, Lower(Trim(text)));
    if (!number) return Fail(NotUnderstood(e, text, KindExpectation(e.kind)));
    const auto raw = KindRaw(e, *number);
    if (!raw) return Fail(OutOfRange(e, text));
    return Ok(*raw);
}

std::optional<int> ItemIndex(const ParamEntry& e, std::string_view text) {
    const std::string_view typed = Trim(text);
    const std::string lower = Lower(typed);
    for (std::size_t i = 0; i < e.items.size(); ++i) {
        const ParamItem& item = e.items[i];
        if (lower == Lower(item.word)) return static_cast<int>(i);
        // The windows' text is taken too, as a person copies it from them.
        if (!item.windowText.empty() && typed == WindowItemText(item)) return static_cast<int>(i);
    }
    // The parametric type shows with its band's number; the text without
    // the number is what a person types.
    if (e.format == ParamFormat::BandType && !e.items.empty()) {
        std::string bare = e.items[0].windowText;
        if (const std::size_t at = bare.find("%1"); at != std::string::npos) bare.erase(at, 2);
        if (typed == bare) return 0;
    }
    return std::nullopt;
}

std::string ItemWords(const ParamEntry& e) {
    std::string words;
    for (const ParamItem& item : e.items) words += (words.empty() ? "" : ", ") + item.word;
    return words;
}

ParsedValue ParseBypass(const ParamEntry& e, std::string_view text, std::int32_t current) {
    const std::string lower = Lower(Trim(text));
    const int type = current % kBypassOffset;
    if (lower == "on" || lower == "yes" || lower == "true" || lower == "1") return Ok(type + kBypassOffset);
    if (lower == "off" || lower == "no" || lower == "false" || lower == "0") return Ok(type);
    return Fail(NotUnderstood(e, text, "on or off"));
}

ParsedValue ParseCurvePoint(const ParamEntry& e, std::string_view text) {
    const std::string lower = Lower(Trim(text));
    const std::size_t colon = lower.find(':');
    if (colon == std::string::npos) return Fail(NotUnderstood(e, text, "input:output in dB, such as -40:-20"));
    const std::string_view all(lower);
    const auto in = Number(StripSuffix(Trim(all.substr(0, colon)), "db"));
    const auto out = Number(StripSuffix(Trim(all.substr(colon + 1)), "db"));
    if (!in || !out || *in != std::floor(*in) || *out != std::floor(*out))
        return Fail(NotUnderstood(e, text, "whole dB input:output, such as -40:-20"));
    // The same limits the compressor window puts on a point.
    if (*in < kCompressorInputMin || *in > kCompressorInputMax || *out < kCompressorOutputMin ||
        *out > kCompressorOutputMax || *out - *in > kCompressorMaxGain)
        return Fail(OutOfRange(e, text));
    return Ok(EncodeCompressorPoint(static_cast<int>(*in), static_cast<int>(*out)));
}

// Edit distance, for suggestions.
std::size_t Distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

}  // namespace

std::string FormatParamValue(const ParamEntry& e, std::int32_t raw) {
    switch (e.format) {
    case ParamFormat::List:
    case ParamFormat::Command:
        if (raw >= 0 && raw < static_cast<std::int32_t>(e.items.size())) return e.items[raw].word;
        return std::string("?").append(std::to_string(raw));
    case ParamFormat::BandType: {
        const int type = raw % kBypassOffset;
        if (raw >= 0 && type < static_cast<int>(e.items.size())) return e.items[type].word;
        return std::string("?").append(std::to_string(raw));
    }
    case ParamFormat::Bypass: return raw >= kBypassOffset ? "on" : "off";
    case ParamFormat::CurvePoint: {
        const CompressorPoint p = DecodeCompressorPoint(raw);
        return std::to_string(p.inputDb) + "dB:" + std::to_string(p.outputDb) + "dB";
    }
    case ParamFormat::Kind: break;
    }
    // The entry field's refresh text; a Q field reads its value from the
    // device image, so a scratch store holds it there.
    ParamStore store;
    store.SetDevice(e.address, raw);
    KindRuleInput in;
    in.entry = &e;
    in.source = Source::Refresh;
    in.x = raw;
    const KindRuleResult r = ApplyKindRule(in, store);
    return r.textChanged ? r.text : std::to_string(raw);
}

ParsedValue ParseParamValue(const ParamEntry& e, std::string_view text, std::int32_t current) {
    // A blank value sets nothing, whatever the parameter.
    if (Trim(text).empty()) return Fail("no value given for " + e.name + " (" + ParamRangeText(e) + ")");
    switch (e.format) {
    case ParamFormat::Kind: return ParseKind(e, text);
    case ParamFormat::Bypass: return ParseBypass(e, text, current);
    case ParamFormat::CurvePoint: return ParseCurvePoint(e, text);
    case ParamFormat::List:
    case ParamFormat::Command: {
        const auto index = ItemIndex(e, text);
        if (!index) return Fail(NotUnderstood(e, text, "one of " + ItemWords(e)));
        return Ok(*index);
    }
    case ParamFormat::BandType: {
        const auto index = ItemIndex(e, text);
        if (!index) return Fail(NotUnderstood(e, text, "one of " + ItemWords(e)));
        // The bypass lives in the same slot and stays as it is.
        return Ok(*index + (current >= kBypassOffset ? kBypassOffset : 0));
    }
    }
    return Fail("unknown parameter format");
}

namespace {

// The number the entry field shows for a raw value, in the unit a person
// types: the inverse of TextToRaw.
double ShownNumber(int kind, std::int32_t raw) {
    switch (kind) {
    case kKindBandGain: return raw / 5.0 - 30;
    case kKindBandQ: return QTableValue(raw);
    case kKindRelease: return raw * 2.0;
    default: return raw;
    }
}

AppliedChange Refused(std::string error) { return {false, 0, false, std::move(error), {}}; }

AppliedChange StepBy(const ParamEntry& e, const ParamChange& c, std::int32_t current) {
    if (e.format != ParamFormat::Kind) return Refused(e.name + " is not a number: it cannot be stepped with += or -=");
    const auto amount = KindNumber(e.kind, Lower(Trim(c.value)));
    if (!amount) return Refused(NotUnderstood(e, c.value, KindExpectation(e.kind)));
    const double sign = c.how == ChangeHow::StepUp ? 1 : -1;
    const double wanted = ShownNumber(e.kind, current) + sign * *amount;
    KindRuleInput in;
    in.entry = &e;
    in.source = Source::User;
    // A Q below the table's first entry is the first entry.
    in.x = TextToRaw(e.kind, e.kind == kKindBandQ && wanted <= 0 ? 0 : wanted);
    ParamStore store;
    store.SetBoth(e.address, current);
    const KindRuleResult r = ApplyKindRule(in, store);
    const bool belowQTable = e.kind == kKindBandQ && wanted < QTableValue(e.min);
    char aimed[32];
    std::snprintf(aimed, sizeof aimed, "%.6g", wanted);
    return {true, r.raw, r.clamped || belowQTable, {}, aimed};
}

AppliedChange Toggle(const ParamEntry& e, std::int32_t current) {
    if (e.format == ParamFormat::Bypass) {
        const ParsedValue flipped = ParseParamValue(e, current >= kBypassOffset ? "off" : "on", current);
        return {flipped.ok, flipped.raw, false, flipped.error, {}};
    }
    if (e.format == ParamFormat::List && e.items.size() == 2) return {true, current == 0 ? 1 : 0, false, {}, {}};
    return Refused(e.name + " has more than two values: toggle takes one of two (" + ParamRangeText(e) + ")");
}

}  // namespace

bool ParseParamChange(std::string_view text, ParamChange& change) {
    std::string name, value;
    if (!SplitAssignment(text, name, value)) return false;
    change = {name, ChangeHow::Absolute, value};
    if (name.back() == '+' || name.back() == '-') {
        change.how = name.back() == '+' ? ChangeHow::StepUp : ChangeHow::StepDown;
        change.name.pop_back();
    } else if (Lower(Trim(value)) == "toggle") {
        change.how = ChangeHow::Toggle;
        change.value.clear();
    }
    return !change.name.empty();
}

ParamChange ChangeOfValue(std::string_view name, std::string_view value) {
    ParamChange change{std::string(name), ChangeHow::Absolute, std::string(value)};
    const std::string_view v = Trim(value);
    if (v.size() >= 2 && (v[0] == '+' || v[0] == '-') && v[1] == '=') {
        change.how = v[0] == '+' ? ChangeHow::StepUp : ChangeHow::StepDown;
        change.value = std::string(v.substr(2));
    } else if (Lower(v) == "toggle") {
        change.how = ChangeHow::Toggle;
        change.value.clear();
    }
    return change;
}

AppliedChange ApplyParamChange(const ParamEntry& e, const ParamChange& c, std::int32_t current) {
    switch (c.how) {
    case ChangeHow::StepUp:
    case ChangeHow::StepDown: return StepBy(e, c, current);
    case ChangeHow::Toggle: return Toggle(e, current);
    case ChangeHow::Absolute: break;
    }
    const ParsedValue parsed = ParseParamValue(e, c.value, current);
    return {parsed.ok, parsed.raw, false, parsed.error, {}};
}

std::string ParamRangeText(const ParamEntry& e) {
    switch (e.format) {
    case ParamFormat::List:
    case ParamFormat::Command:
    case ParamFormat::BandType: return ItemWords(e);
    case ParamFormat::Bypass: return "on, off";
    case ParamFormat::CurvePoint: {
        auto dB = [](float level) { return std::to_string(static_cast<int>(level)); };
        return "input " + dB(kCompressorInputMin) + ".." + dB(kCompressorInputMax) + " dB : output " +
               dB(kCompressorOutputMin) + ".." + dB(kCompressorOutputMax) + " dB, output at most input + " +
               dB(kCompressorMaxGain) + " dB";
    }
    case ParamFormat::Kind: break;
    }
    if (e.kind == kKindBandQ) return std::string(QTableText(e.min)) + " .. " + std::string(QTableText(e.max));
    if (e.kind == kKindRelease) return "Atk x " + std::to_string(e.min * 2) + " .. Atk x " + std::to_string(e.max * 2);
    return FormatParamValue(e, e.min) + " .. " + FormatParamValue(e, e.max);
}

std::string ParamStepText(const ParamEntry& e) {
    if (e.format != ParamFormat::Kind) return {};
    switch (e.kind) {
    case kKindBandFrequency:
    case kKindCrossover: return "1Hz";
    case kKindBandGain: return "0.2dB";
    case kKindBandQ: return "one entry of the Q table";
    case kKindPercent: return "1%";
    case kKindTime: return "1ms";
    case kKindRelease: return "Atk x 2";
    default: return {};
    }
}

std::optional<ValueRounding> RoundingOf(const ParamEntry& e, std::string_view asked, std::int32_t raw) {
    // Only numbers are held in steps; list items and curve points are taken
    // exactly or refused.
    if (e.format != ParamFormat::Kind) return std::nullopt;
    const std::string taken = FormatParamValue(e, raw);
    const auto askedNumber = KindNumber(e.kind, Lower(Trim(asked)));
    const auto takenNumber = KindNumber(e.kind, Lower(Trim(taken)));
    if (!askedNumber || !takenNumber || std::abs(*askedNumber - *takenNumber) < 1e-9) return std::nullopt;
    std::string why;
    switch (e.kind) {
    case kKindBandGain: why = "the gain is held in steps of 0.2dB"; break;
    case kKindBandQ: why = "Q takes the first value of its table at or above the one asked"; break;
    case kKindRelease: why = "the release is held in steps of Atk x 2"; break;
    case kKindTime: why = "times are held in whole milliseconds"; break;
    case kKindPercent: why = "volumes are held in whole percent"; break;
    default: why = "frequencies are held in whole hertz"; break;
    }
    return ValueRounding{taken, why};
}

std::vector<std::string> NearestParamNames(std::string_view name, std::size_t count) {
    std::vector<std::pair<std::size_t, std::string>> scored;
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.format == ParamFormat::Command) continue;
        std::size_t d = Distance(Lower(name), e.name);
        // A name that contains what was typed is as good as a near miss.
        if (!name.empty() && e.name.find(Lower(name)) != std::string::npos) d = std::min<std::size_t>(d, 2);
        scored.emplace_back(d, e.name);
    }
    std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (std::size_t i = 0; i < scored.size() && out.size() < count; ++i) out.push_back(scored[i].second);
    return out;
}

bool SplitAssignment(std::string_view text, std::string& name, std::string& value) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0) return false;
    name = std::string(Trim(text.substr(0, eq)));
    value = std::string(text.substr(eq + 1));
    return !name.empty();
}

}  // namespace tr640
