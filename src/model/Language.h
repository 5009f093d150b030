// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tr640 {

// The program-wide language: 1 is Chinese, anything else English. The
// program ships Chinese and nothing changes it at run time.
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

}  // namespace tr640
