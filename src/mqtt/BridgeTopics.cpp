// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/BridgeTopics.h"

namespace tr640 {

namespace {

std::vector<std::string_view> Levels(std::string_view topic) {
    std::vector<std::string_view> levels;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = topic.find('/', start);
        levels.push_back(topic.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos) return levels;
        start = slash + 1;
    }
}

}  // namespace

std::string UnitTopicName(std::string_view serial) {
    std::string out(serial);
    for (char& c : out) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                           c == '-';
        if (!plain) c = '_';
    }
    return out.empty() ? "_" : out;
}

std::vector<std::string> BridgeTopics::CommandFilters() const {
    return {base_ + "/+/set", base_ + "/+/+/set", base_ + "/+/mode/recall", base_ + "/+/mode/save",
            base_ + "/+/preset/push"};
}

std::optional<CommandTopic> BridgeTopics::ParseCommandTopic(std::string_view topic) const {
    const std::string prefix = base_ + "/";
    if (topic.substr(0, prefix.size()) != prefix) return std::nullopt;
    const std::vector<std::string_view> levels = Levels(topic.substr(prefix.size()));
    if (levels.size() < 2 || levels[0].empty() || levels[0] == "bridge") return std::nullopt;
    CommandTopic command;
    command.unit = std::string(levels[0]);
    command.command = std::string(topic.substr(prefix.size() + levels[0].size() + 1));
    if (levels.size() == 2 && levels[1] == "set") {
        command.kind = CommandKind::SetMany;
        return command;
    }
    if (levels.size() != 3) return std::nullopt;
    if (levels[1] == "mode" && (levels[2] == "recall" || levels[2] == "save")) {
        command.kind = levels[2] == "recall" ? CommandKind::RecallMode : CommandKind::SaveMode;
        return command;
    }
    if (levels[1] == "preset" && levels[2] == "push") {
        command.kind = CommandKind::PushPreset;
        return command;
    }
    if (levels[2] != "set" || levels[1].empty()) return std::nullopt;
    command.kind = CommandKind::SetValue;
    command.name = std::string(levels[1]);
    return command;
}

}  // namespace tr640
