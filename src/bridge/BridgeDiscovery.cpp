// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/BridgeDiscovery.h"

#include "mqtt/BridgePayloads.h"
#include "mqtt/JsonText.h"
#include "model/ParamCatalogue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tr640 {

namespace {

struct Node {
    const BridgeTopics& topics;
    std::string prefix;
    std::string unit;
    std::string deviceJson;
};

std::string Dotless(std::string_view name) {
    std::string out(name);
    std::replace(out.begin(), out.end(), '.', '_');
    return out;
}

std::string Capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

std::string DeviceJson(const DiscoveryDevice& device) {
    const std::string unit = UnitTopicName(device.serial);
    JsonObjectText json;
    json.Raw("identifiers", JsonArrayText({JsonQuote("tr640_" + unit)}));
    json.String("name", "TR640 " + device.serial);
    json.String("model", device.product.empty() ? "TR640" : device.product);
    json.String("manufacturer", "Halvane");
    json.String("serial_number", device.serial);
    if (!device.softwareVersion.empty()) json.String("sw_version", device.softwareVersion);
    return json.Text();
}

std::string AvailabilityJson(const Node& node) {
    return JsonArrayText({JsonObjectText().String("topic", node.topics.BridgeState()).Text(),
                          JsonObjectText().String("topic", node.topics.Availability(node.unit)).Text()});
}

// What every entity carries: its name, ids, device and availability.
JsonObjectText Common(const Node& node, std::string_view object, std::string_view name) {
    JsonObjectText json;
    json.String("name", name);
    json.String("unique_id", "tr640_" + node.unit + "_" + std::string(object));
    json.String("object_id", "tr640_" + node.unit + "_" + std::string(object));
    json.Raw("device", node.deviceJson);
    json.Raw("availability", AvailabilityJson(node));
    json.String("availability_mode", "all");
    return json;
}

DiscoveryMessage Message(const Node& node, std::string_view component, std::string_view object,
                         const JsonObjectText& json) {
    return {node.prefix + "/" + std::string(component) + "/tr640_" + node.unit + "/" + std::string(object) +
                "/config",
            json.Text()};
}

double StateNumber(const ParamEntry& entry, int raw) { return std::strtod(FormatStateValue(entry, raw).text.c_str(), nullptr); }

// The finest step between neighbouring raw values, sampled at both ends and
// the middle of the range: Home Assistant offers multiples of it.
std::string StepText(const ParamEntry& entry) {
    double step = 0;
    for (const int raw : {entry.min, (entry.min + entry.max) / 2, entry.max - 1}) {
        if (raw < entry.min || raw + 1 > entry.max) continue;
        const double difference = std::fabs(StateNumber(entry, raw + 1) - StateNumber(entry, raw));
        if (difference > 0 && (step == 0 || difference < step)) step = difference;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%g", step > 0 ? step : 1.0);
    return text;
}

bool StartsDisabled(const ParamEntry& entry) {
    return entry.name.find(".eq") != std::string::npos && entry.format != ParamFormat::Bypass;
}

JsonObjectText Settable(const Node& node, const ParamEntry& entry) {
    const std::string object = Dotless(entry.name);
    JsonObjectText json = Common(node, object, Capitalised(entry.description));
    json.String("state_topic", node.topics.Value(node.unit, entry.name));
    json.String("command_topic", node.topics.ValueSet(node.unit, entry.name));
    if (StartsDisabled(entry)) json.Bool("enabled_by_default", false);
    return json;
}

std::vector<std::string> ItemWords(const ParamEntry& entry) {
    std::vector<std::string> words;
    for (const ParamItem& item : entry.items) words.push_back(JsonQuote(item.word));
    return words;
}

void AddEntity(const Node& node, const ParamEntry& entry, std::vector<DiscoveryMessage>& out) {
    JsonObjectText json = Settable(node, entry);
    const std::string object = Dotless(entry.name);
    switch (entry.format) {
    case ParamFormat::Kind: {
        json.Raw("min", FormatStateValue(entry, entry.min).text).Raw("max", FormatStateValue(entry, entry.max).text);
        json.Raw("step", StepText(entry)).String("mode", "box");
        const std::string unit = StateUnitText(entry);
        if (!unit.empty()) json.String("unit_of_measurement", unit);
        out.push_back(Message(node, "number", object, json));
        return;
    }
    case ParamFormat::List:
    case ParamFormat::BandType:
        json.Raw("options", JsonArrayText(ItemWords(entry)));
        out.push_back(Message(node, "select", object, json));
        return;
    case ParamFormat::Bypass:
        json.String("payload_on", "true").String("payload_off", "false");
        json.String("state_on", "true").String("state_off", "false");
        out.push_back(Message(node, "switch", object, json));
        return;
    case ParamFormat::CurvePoint:  // two numbers in one value: no entity of Home Assistant's fits
    case ParamFormat::Command: return;
    }
}

void AddModeButtons(const Node& node, std::vector<DiscoveryMessage>& out) {
    const ParamEntry* recall = FindParam("mode.recall");
    for (std::size_t i = 0; i < recall->items.size(); ++i) {
        const std::string mode = std::to_string(i + 1);
        const std::string object = "mode_recall_" + mode;
        JsonObjectText json = Common(node, object, "Recall mode " + mode);
        json.String("command_topic", node.topics.ModeRecall(node.unit)).String("payload_press", mode);
        out.push_back(Message(node, "button", object, json));
    }
}

}  // namespace

std::vector<DiscoveryMessage> DiscoveryConfigs(const BridgeTopics& topics, std::string_view prefix,
                                               const DiscoveryDevice& device) {
    const Node node{topics, std::string(prefix), UnitTopicName(device.serial), DeviceJson(device)};
    std::vector<DiscoveryMessage> out;
    for (const ParamEntry& entry : ParamCatalogue()) AddEntity(node, entry, out);
    AddModeButtons(node, out);
    return out;
}

}  // namespace tr640
