// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A tr640ctl script: one command per line, as it would follow "tr640ctl" on
// a shell's command line. Words are split at blanks; '...' keeps its text as
// it stands, "..." takes \" and \\ as escapes, a backslash outside quotes
// keeps the next character; a '#' that begins a word starts a comment.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tr640 {

// A script is read whole before a line runs; larger is no script.
inline constexpr std::size_t kMaxScriptBytes = 1024 * 1024;

struct ScriptLine {
    int number = 0;  // 1 for the first line of the text
    std::vector<std::string> words;
};

struct ScriptText {
    std::vector<ScriptLine> lines;  // blank and comment lines left out
    int badLine = 0;                // the first line that cannot be split, 0 when none
    std::string error;              // why, in English
};

ScriptText SplitScript(std::string_view text);

}  // namespace tr640
