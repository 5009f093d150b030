// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/Language.h"

#include <cstddef>

namespace tr640 {

namespace {

// Reads one quoted text from `line` at `pos`, undoing the escapes; false
// when there is none or it does not end.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& text) {
    if (pos >= line.size() || line[pos] != '"') return false;
    text.clear();
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++pos == line.size()) return false;
        switch (line[pos]) {
            case 'n': text += '\n'; break;
            case '"':
            case '\\': text += line[pos]; break;
            default: return false;
        }
    }
    return false;
}

void SkipBlanks(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

bool ParseEntry(std::string_view line, std::string& source, std::string& translation) {
    std::size_t pos = 0;
    SkipBlanks(line, pos);
    if (!ReadQuoted(line, pos, source)) return false;
    SkipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != '=') return false;
    ++pos;
    SkipBlanks(line, pos);
    if (!ReadQuoted(line, pos, translation)) return false;
    SkipBlanks(line, pos);
    return pos == line.size();
}

bool IsBlankOrComment(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == '#';
}

// The tables other than Chinese, numbered as Translate knows them: English
// first (0), then the others from 2 on.
struct Languages {
    std::vector<std::string> codes;  // index = language number; [1] is "zh"
    std::vector<TextTable> tables;   // [1] stays empty: Chinese is the source
};

const Languages& AllLanguages() {
    static const Languages languages = [] {
        Languages all;
        all.codes = {"en", "zh"};
        all.tables.resize(2);
        for (const EmbeddedTextTable& table : EmbeddedTextTables()) {
            const std::string code = table.code;
            if (code == "zh") continue;
            if (code == "en") {
                all.tables[kLanguageEnglish] = ParseTextTable(table.content);
                continue;
            }
            all.codes.push_back(code);
            all.tables.push_back(ParseTextTable(table.content));
        }
        return all;
    }();
    return languages;
}

}  // namespace

TextTable ParseTextTable(std::string_view content, std::vector<int>* errors) {
    TextTable table;
    int number = 0;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (IsBlankOrComment(line)) continue;
        std::string source;
        std::string translation;
        if (ParseEntry(line, source, translation)) {
            table[source] = translation;
        } else if (errors) {
            errors->push_back(number);
        }
    }
    return table;
}

std::string Translate(int language, std::string_view chinese) {
    if (language == kLanguageChinese) return std::string(chinese);
    const std::vector<TextTable>& tables = AllLanguages().tables;
    // A number without a table of its own counts as English, as every
    // language other than Chinese once did.
    if (language < 0 || language >= static_cast<int>(tables.size())) language = kLanguageEnglish;
    const TextTable& table = tables[static_cast<std::size_t>(language)];
    if (const auto found = table.find(chinese); found != table.end()) return found->second;
    // A table that lacks a text falls back on English, read by more people
    // than Chinese.
    if (language != kLanguageEnglish) return Translate(kLanguageEnglish, chinese);
    return std::string(chinese);
}

Bilingual Twins(int language, std::string_view chinese) {
    const int twin = language == kLanguageChinese ? kLanguageEnglish : language;
    return {Translate(twin, chinese), std::string(chinese)};
}

std::optional<int> LanguageByCode(std::string_view code) {
    const std::vector<std::string>& codes = AllLanguages().codes;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] == code) return static_cast<int>(i);
    }
    return std::nullopt;
}

std::vector<std::string> LanguageCodes() {
    std::vector<std::string> codes = AllLanguages().codes;
    std::swap(codes[0], codes[1]);  // "zh", the default, first
    return codes;
}

}  // namespace tr640
