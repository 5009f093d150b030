// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/JsonText.h"

#include <cstdint>
#include <cstdio>

namespace tr640 {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    FlatJsonResult Object() {
        FlatJsonObject object;
        SkipSpace();
        if (!Take('{')) return Fail("expected a JSON object");
        SkipSpace();
        if (!Take('}')) {
            do {
                if (!Member(object)) return Fail(error_);
                SkipSpace();
            } while (Take(','));
            if (!Take('}')) return Fail("expected ',' or '}' in the JSON object");
        }
        SkipSpace();
        if (pos_ != text_.size()) return Fail("text after the JSON object");
        return {std::move(object), {}};
    }

private:
    FlatJsonResult Fail(std::string error) { return {std::nullopt, std::move(error)}; }

    bool Error(const char* what) {
        error_ = what;
        return false;
    }

    bool Member(FlatJsonObject& object) {
        SkipSpace();
        std::string name;
        if (!String(name)) return false;
        for (const auto& member : object.members)
            if (member.first == name) return Error("a name is given twice in the JSON object");
        SkipSpace();
        if (!Take(':')) return Error("expected ':' after a name in the JSON object");
        SkipSpace();
        JsonScalar value;
        if (!Scalar(value)) return false;
        object.members.emplace_back(std::move(name), std::move(value));
        return true;
    }

    bool Scalar(JsonScalar& value) {
        if (Peek() == '"') {
            value.kind = JsonScalar::Kind::String;
            return String(value.text);
        }
        if (Peek() == '{' || Peek() == '[') return Error("values in the JSON object must be plain, not nested");
        for (const char* word : {"true", "false", "null"}) {
            if (text_.substr(pos_, std::string_view(word).size()) == word) {
                value.kind = word[0] == 'n' ? JsonScalar::Kind::Null : JsonScalar::Kind::Bool;
                value.text = word;
                pos_ += std::string_view(word).size();
                return true;
            }
        }
        value.kind = JsonScalar::Kind::Number;
        return Number(value.text);
    }

    // JSON's number grammar: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    bool Number(std::string& out) {
        const std::size_t start = pos_;
        Take('-');
        if (!Take('0')) {
            if (!Digits()) return Error("a value in the JSON object is not a string, number or true/false");
        }
        if (Take('.') && !Digits()) return Error("a number in the JSON object has no digits after '.'");
        if (Take('e') || Take('E')) {
            if (!Take('+')) Take('-');
            if (!Digits()) return Error("a number in the JSON object has no digits in its exponent");
        }
        out = std::string(text_.substr(start, pos_ - start));
        return true;
    }

    bool Digits() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
        return pos_ > start;
    }

    bool String(std::string& out) {
        if (!Take('"')) return Error("expected a quoted name in the JSON object");
        while (pos_ < text_.size()) {
            const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
            if (c == '"') return true;
            if (c < 0x20) return Error("a control character inside a JSON string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (!Escape(out)) return false;
        }
        return Error("a JSON string is not closed");
    }

    bool Escape(std::string& out) {
        if (pos_ >= text_.size()) return Error("a JSON string is not closed");
        const char c = text_[pos_++];
        switch (c) {
        case '"': out += '"'; return true;
        case '\\': out += '\\'; return true;
        case '/': out += '/'; return true;
        case 'b': out += '\b'; return true;
        case 'f': out += '\f'; return true;
        case 'n': out += '\n'; return true;
        case 'r': out += '\r'; return true;
        case 't': out += '\t'; return true;
        case 'u': return Unicode(out);
        default: return Error("an unknown escape inside a JSON string");
        }
    }

    bool Hex4(std::uint32_t& code) {
        if (pos_ + 4 > text_.size()) return Error("a \\u escape needs four hex digits");
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            code <<= 4;
            if (c >= '0' && c <= '9') code |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') code |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') code |= static_cast<std::uint32_t>(c - 'A' + 10);
            else return Error("a \\u escape needs four hex digits");
        }
        return true;
    }

    bool Unicode(std::string& out) {
        std::uint32_t code = 0;
        if (!Hex4(code)) return false;
        if (code >= 0xDC00 && code <= 0xDFFF) return Error("a lone low surrogate inside a JSON string");
        if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return Error("a high surrogate without its low half inside a JSON string");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(out, code);
        return true;
    }

    static void AppendUtf8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    void SkipSpace() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool Take(char c) {
        if (Peek() != c || pos_ >= text_.size()) return false;
        ++pos_;
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace

FlatJsonResult ParseFlatJsonObject(std::string_view text) { return Reader(text).Object(); }

std::string JsonQuote(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

JsonObjectText& JsonObjectText::Raw(std::string_view name, std::string_view json) {
    if (!body_.empty()) body_ += ',';
    body_ += JsonQuote(name);
    body_ += ':';
    body_ += json;
    return *this;
}

std::string JsonArrayText(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
    return out + "]";
}

}  // namespace tr640
