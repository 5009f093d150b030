// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CtlScript.h"

#include <algorithm>

namespace tr640 {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The words of one line, or false with the reason in `error`.
bool SplitLine(std::string_view line, std::vector<std::string>& words, std::string& error) {
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') return true;
        std::string word;
        while (i < line.size() && !IsBlank(line[i])) {
            const char c = line[i++];
            if (c == '\\') {
                if (i == line.size()) return error = "a backslash ends the line", false;
                word += line[i++];
            } else if (c == '\'') {
                const std::size_t end = line.find('\'', i);
                if (end == std::string_view::npos) return error = "a ' is not closed", false;
                word.append(line.substr(i, end - i));
                i = end + 1;
            } else if (c == '"') {
                while (i < line.size() && line[i] != '"') {
                    if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
                    word += line[i++];
                }
                if (i == line.size()) return error = "a \" is not closed", false;
                ++i;
            } else {
                word += c;
            }
        }
        words.push_back(std::move(word));
    }
    return true;
}

}  // namespace

ScriptText SplitScript(std::string_view text) {
    ScriptText script;
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        ++number;
        ScriptLine line{number, {}};
        std::string error;
        if (!SplitLine(text.substr(start, end - start), line.words, error)) {
            script.badLine = number;
            script.error = error;
            return script;
        }
        if (!line.words.empty()) script.lines.push_back(std::move(line));
        start = end + 1;
    }
    return script;
}

}  // namespace tr640
