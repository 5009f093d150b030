// SPDX-License-Identifier: GPL-3.0-or-later
// The text tables: their file format, the lookup by language, and that the
// English table and the program's Chinese texts match one for one.

#include "model/Language.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace tr640 {
namespace {

TEST(TextTableTest, ReadsQuotedPairsWithEscapesAndReportsBrokenLines) {
    std::vector<int> errors;
    const TextTable table = ParseTextTable(
        "# a comment\n"
        "\n"
        "\"保存\" = \"Save\"\n"
        "  \" 预设\"=\"Preset \\\"x\\\" \\\\ \\n\"  \r\n"
        "\"无\" \"No equals sign\"\n"
        "\"未完 = \"Unended\n"
        "\"坏\" = \"Bad \\q escape\"\n",
        &errors);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at("保存"), "Save");
    EXPECT_EQ(table.at(" 预设"), "Preset \"x\" \\ \n");  // the spaces inside the quotes stay
    EXPECT_EQ(errors, (std::vector<int>{5, 6, 7}));
}

TEST(TextTableTest, TranslatesByLanguageNumberAndCode) {
    EXPECT_EQ(Translate(kLanguageChinese, "保存"), "保存");
    EXPECT_EQ(Translate(kLanguageEnglish, "保存"), "Save");
    EXPECT_EQ(Translate(kLanguageEnglish, "没有这句"), "没有这句");  // no entry: the Chinese text
    EXPECT_EQ(Translate(-3, "保存"), "Save");                         // any other number is English
    EXPECT_EQ(Translate(kLanguageEnglish, "%1级"), "Level %1");

    const Bilingual chinese = Twins(kLanguageChinese, "状态：");
    EXPECT_EQ(chinese.english, "Status: ");
    EXPECT_EQ(chinese.chinese, "状态：");
    EXPECT_EQ(Pick(kLanguageEnglish, Twins(kLanguageEnglish, "设备未连接")), "OffLine");

    EXPECT_EQ(LanguageByCode("zh"), kLanguageChinese);
    EXPECT_EQ(LanguageByCode("en"), kLanguageEnglish);
    EXPECT_EQ(LanguageByCode("EN"), std::nullopt);
    const std::vector<std::string> codes = LanguageCodes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], "zh");
    EXPECT_EQ(codes[1], "en");
}

// Every string literal of the program's sources that holds other than
// ASCII text, comments left out.
std::set<std::string> NonAsciiLiterals() {
    std::set<std::string> literals;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(TR640_SOURCE_DIR)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".cpp" && extension != ".h") continue;
        std::ifstream file(entry.path());
        std::stringstream content;
        content << file.rdbuf();
        const std::string text = content.str();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, 2, "//") == 0) {
                i = text.find('\n', i);
                if (i == std::string::npos) break;
            } else if (text.compare(i, 2, "/*") == 0) {
                i = text.find("*/", i) + 1;
            } else if (text[i] == '\'' && i + 2 < text.size()) {
                i = text.find('\'', i + (text[i + 1] == '\\' ? 3 : 2));
            } else if (text[i] == '"') {
                std::string literal;
                for (++i; i < text.size() && text[i] != '"'; ++i) {
                    if (text[i] == '\\') literal += text[i++];
                    literal += text[i];
                }
                bool ascii = true;
                for (unsigned char c : literal) ascii = ascii && c < 0x80;
                if (!ascii) literals.insert(literal);
            }
        }
    }
    return literals;
}

const TextTable& EnglishTable() {
    static const TextTable table = [] {
        for (const EmbeddedTextTable& embedded : EmbeddedTextTables()) {
            if (std::string(embedded.code) == "en") return ParseTextTable(embedded.content);
        }
        return TextTable();
    }();
    return table;
}

TEST(TextTableTest, EveryTableIsWellFormedAndKeepsItsPlaceholders) {
    for (const EmbeddedTextTable& embedded : EmbeddedTextTables()) {
        std::vector<int> errors;
        for (const auto& [chinese, text] : ParseTextTable(embedded.content, &errors)) {
            const bool keyHasPlaceholder = chinese.find("%1") != std::string::npos;
            EXPECT_EQ(text.find("%1") != std::string::npos, keyHasPlaceholder) << embedded.code << ": " << chinese;
            EXPECT_FALSE(text.empty()) << embedded.code << ": " << chinese;
        }
        EXPECT_EQ(errors, std::vector<int>()) << embedded.code;
    }
}

TEST(TextTableTest, EnglishHasEveryChineseTextOfTheProgramAndNoOther) {
    // The one text left out goes to the traffic log of the link window,
    // which is never shown.
    const std::set<std::string> unshown = {" (自定义HID描述符="};
    const std::set<std::string> literals = NonAsciiLiterals();
    ASSERT_GT(literals.size(), 50u) << "the sources were not found at " << TR640_SOURCE_DIR;

    const TextTable& english = EnglishTable();
    for (const std::string& literal : literals) {
        if (unshown.count(literal) == 0) {
            EXPECT_EQ(english.count(literal), 1u) << "no English for " << literal;
        }
    }
    for (const auto& [chinese, text] : english) {
        EXPECT_EQ(literals.count(chinese), 1u) << "the program no longer shows " << chinese;
    }
}

}  // namespace
}  // namespace tr640
