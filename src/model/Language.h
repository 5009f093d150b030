// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tr640 {

// The program-wide language: 1 is Chinese, anything else English. It is
// Chinese unless the command line chose another one, and it never changes
// while the program runs.
inline constexpr int kLanguageChinese = 1;
inline constexpr int kLanguageEnglish = 0;

// A text that exists in both languages.
struct Bilingual {
    std::string english;
    std::string chinese;
};

inline const std::string& Pick(int language, const Bilingual& text) {
    return language == kLanguageChinese ? text.chinese : text.english;
}

// The program's texts are written in Chinese, the language the unit was
// made for. Every other language is a table from each Chinese text to its
// own: one file per language in src/model/texts/, named by the language's
// code and built into the program, so that a further language is a file.
// The numbers: 1 Chinese, 0 English, 2 and up the other tables by code.
//
// `chinese` in `language`. Where a table has no entry for it, the English
// one stands in, and where English has none either, the Chinese text
// itself. "%1" in a text stands for what the caller fills in.
std::string Translate(int language, std::string_view chinese);

// The pair for `SetBilingualText`: the text in the chosen language as the
// "English" twin (English itself while Chinese is chosen, so that the hint
// still carries it) and the Chinese text.
Bilingual Twins(int language, std::string_view chinese);

// "zh", "en" or the code of another table; nothing for an unknown code.
std::optional<int> LanguageByCode(std::string_view code);
// Every code LanguageByCode knows, "zh" and "en" first.
std::vector<std::string> LanguageCodes();

// One language's table, read from its file: one text a line,
//   "Chinese text" = "its translation"
// with \" \\ and \n inside the quotes; blank lines and lines starting with
// # are skipped. A line that is neither lands in `errors` as its number.
using TextTable = std::map<std::string, std::string, std::less<>>;
TextTable ParseTextTable(std::string_view content, std::vector<int>* errors = nullptr);

// A table built into the program: its code and the file's content.
struct EmbeddedTextTable {
    const char* code;
    std::string_view content;
};
// All of them, in code order (generated from src/model/texts/ at build time).
const std::vector<EmbeddedTextTable>& EmbeddedTextTables();

}  // namespace tr640
