// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The little JSON the bridge reads and writes. What comes in from the broker
// is a flat object of names to plain values, and it is read without Qt so
// that the fuzzer can run it; what goes out is built as text here too.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tr640 {

// One plain value of an object: its kind and its text. A string holds its
// decoded characters, a number and true/false/null their literal text.
struct JsonScalar {
    enum class Kind { String, Number, Bool, Null };
    Kind kind = Kind::Null;
    std::string text;
};

struct FlatJsonObject {
    std::vector<std::pair<std::string, JsonScalar>> members;  // in the order given
};

// Reads `{"name": value, ...}` whose values are strings, numbers, true,
// false or null. Nested objects and arrays, a name given twice, trailing
// text or invalid UTF-8 escapes are refused with one line of English.
struct FlatJsonResult {
    std::optional<FlatJsonObject> object;
    std::string error;
};
FlatJsonResult ParseFlatJsonObject(std::string_view text);

// A JSON string literal of `text`, quotes included.
std::string JsonQuote(std::string_view text);

// Builds an object member by member: values are given as JSON text already.
class JsonObjectText {
public:
    JsonObjectText& Raw(std::string_view name, std::string_view json);
    JsonObjectText& String(std::string_view name, std::string_view value) { return Raw(name, JsonQuote(value)); }
    JsonObjectText& Bool(std::string_view name, bool value) { return Raw(name, value ? "true" : "false"); }
    std::string Text() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

// `[a,b,...]` of JSON texts.
std::string JsonArrayText(const std::vector<std::string>& items);

}  // namespace tr640
