// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the bridge publishes and what it listens to, under one base topic.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tr640 {

// A unit's serial as one topic level: anything outside [A-Za-z0-9_-] becomes
// '_', so no serial can reach into another level or a wildcard.
std::string UnitTopicName(std::string_view serial);

enum class CommandKind { SetValue, SetMany, RecallMode, SaveMode, PushPreset };

// A command topic taken apart: the unit's topic name and, for SetValue, the
// parameter name as given (checked later against the catalogue).
struct CommandTopic {
    std::string unit;
    CommandKind kind = CommandKind::SetValue;
    std::string name;
    // The part after the unit, as the response names the command:
    // "mic1.volume/set", "set", "mode/recall", "mode/save", "preset/push".
    std::string command;
};

class BridgeTopics {
public:
    explicit BridgeTopics(std::string base) : base_(std::move(base)) {}

    const std::string& Base() const { return base_; }
    std::string BridgeState() const { return base_ + "/bridge/state"; }
    std::string Units() const { return base_ + "/bridge/units"; }
    std::string Availability(std::string_view unit) const { return Unit(unit) + "/availability"; }
    std::string State(std::string_view unit) const { return Unit(unit); }
    std::string Value(std::string_view unit, std::string_view name) const { return Unit(unit) + "/" + std::string(name); }
    std::string ValueSet(std::string_view unit, std::string_view name) const { return Value(unit, name) + "/set"; }
    std::string SetMany(std::string_view unit) const { return Unit(unit) + "/set"; }
    std::string ModeRecall(std::string_view unit) const { return Unit(unit) + "/mode/recall"; }
    std::string ModeSave(std::string_view unit) const { return Unit(unit) + "/mode/save"; }
    std::string PresetPush(std::string_view unit) const { return Unit(unit) + "/preset/push"; }
    std::string Response(std::string_view unit) const { return Unit(unit) + "/response"; }

    // The subscriptions that cover every command topic and nothing the
    // bridge publishes itself.
    std::vector<std::string> CommandFilters() const;
    // A topic the filters delivered, or nothing when it is no command.
    std::optional<CommandTopic> ParseCommandTopic(std::string_view topic) const;

private:
    std::string Unit(std::string_view unit) const { return base_ + "/" + std::string(unit); }

    std::string base_;
};

}  // namespace tr640
