// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge's topics, payload checks, state and discovery, without a broker.

#include "bridge/BridgeDiscovery.h"
#include "mqtt/BridgePayloads.h"
#include "mqtt/BridgeTopics.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"
#include "presets/FileSystem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <gtest/gtest.h>

#include <map>

namespace tr640 {
namespace {

HeldValue Holding(std::map<int, std::int32_t> values) {
    return [values](ParamAddress address) -> std::optional<std::int32_t> {
        const auto it = values.find(address);
        return it == values.end() ? std::nullopt : std::optional<std::int32_t>(it->second);
    };
}

QJsonObject Object(const std::string& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return document.object();
}

TEST(BridgeTopicsTest, SerialsBecomeOneLevelAndCommandsAreTakenApart) {
    EXPECT_EQ(UnitTopicName("AB-12_x/#+ é"), "AB-12_x______");  // é is two bytes
    const BridgeTopics topics("tr640");
    const auto one = topics.ParseCommandTopic("tr640/VIRTUAL-1/mic1.volume/set");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->kind, CommandKind::SetValue);
    EXPECT_EQ(one->name, "mic1.volume");
    EXPECT_EQ(one->command, "mic1.volume/set");
    EXPECT_EQ(topics.ParseCommandTopic("tr640/U/set")->kind, CommandKind::SetMany);
    EXPECT_EQ(topics.ParseCommandTopic("tr640/U/mode/recall")->kind, CommandKind::RecallMode);
    EXPECT_EQ(topics.ParseCommandTopic("tr640/U/mode/save")->kind, CommandKind::SaveMode);
    EXPECT_EQ(topics.ParseCommandTopic("tr640/U/preset/push")->kind, CommandKind::PushPreset);
    EXPECT_FALSE(topics.ParseCommandTopic("tr640/bridge/state"));
    EXPECT_FALSE(topics.ParseCommandTopic("tr640/U/mic1.volume"));
    EXPECT_FALSE(topics.ParseCommandTopic("other/U/set"));
}

// What the state shows, a client can send back unchanged and get the same
// raw value: for every parameter at both ends of its range and in between.
TEST(BridgePayloadsTest, EveryStateValueReadsBackAsTheSameRawValue) {
    for (const ParamEntry& entry : ParamCatalogue()) {
        if (!IsStateEntry(entry) || entry.format == ParamFormat::CurvePoint) continue;
        for (const int raw : {entry.min, (entry.min + entry.max) / 2, entry.max}) {
            const auto held = Holding({{entry.address, raw}});
            const StateValue shown = FormatStateValue(entry, raw);
            const ChangeList back = ParseOneChange(entry.name, shown.text, held);
            ASSERT_TRUE(back.ok) << entry.name << " " << shown.text << ": " << back.error;
            EXPECT_EQ(back.changes[0].second, raw) << entry.name << " " << shown.text;
        }
    }
    const ParamEntry& point = *FindParam("dynamics.low.curve.p1");
    const std::int32_t raw = EncodeCompressorPoint(-40, -20);
    EXPECT_EQ(FormatStateValue(point, raw).text, "-40:-20");
    EXPECT_EQ(ParseOneChange(point.name, "-40:-20", Holding({})).changes.at(0).second, raw);
}

// tr640ctl --broker rebuilds a unit's image from its state object.
TEST(BridgePayloadsTest, AStateObjectReadsBackIntoTheImageItCameFrom) {
    std::map<int, std::int32_t> image;
    for (const ParamEntry& entry : ParamCatalogue())
        if (IsStateEntry(entry))
            image[entry.address] = entry.format == ParamFormat::CurvePoint ? EncodeCompressorPoint(-30, -12) : entry.max;
    image[FindParam("mic1.eq1.type")->address] = 13;  // highpass, bypassed: one slot, two names
    const ChangeList back = ReadStateJson(StateJson(Holding(image)));
    ASSERT_TRUE(back.ok) << back.error;
    const std::map<int, std::int32_t> read(back.changes.begin(), back.changes.end());
    EXPECT_EQ(read, image);
}

TEST(BridgePayloadsTest, StateTextsAreNumbersWordsAndTruthValues) {
    EXPECT_EQ(FormatStateValue(*FindParam("mic1.eq1.freq"), 1000).json, "1000.0");
    EXPECT_EQ(FormatStateValue(*FindParam("mic1.eq3.gain"), 132).json, "-3.6");
    EXPECT_EQ(FormatStateValue(*FindParam("mic1.eq1.type"), 13).json, "\"highpass\"");
    EXPECT_EQ(FormatStateValue(*FindParam("mic1.eq1.bypass"), 13).json, "true");
    EXPECT_EQ(StateUnitText(*FindParam("mic1.eq1.freq")), "Hz");
    const QJsonObject state = Object(StateJson(Holding({{FindParam("mic1.volume")->address, 80}})));
    EXPECT_EQ(state.size(), 1);
    EXPECT_EQ(state.value("mic1.volume").toDouble(), 80);
}

TEST(BridgePayloadsTest, AJsonSetIsCheckedWholeBeforeAnythingIsSent) {
    const auto held = Holding({{FindParam("mic1.eq1.type")->address, 0}});
    std::string transaction;
    const ChangeList bad =
        ParseChangeSet(R"({"mic1.volume": 80, "mic1.eq1.freq": "99kHz"})", held, transaction);
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.changes.empty());
    EXPECT_NE(bad.error.find("out of range"), std::string::npos) << bad.error;

    const ChangeList good = ParseChangeSet(
        R"({"mic1.volume": 80, "mic1.eq1.type": "highpass", "mic1.eq1.bypass": true, "transaction": "t-7"})", held,
        transaction);
    ASSERT_TRUE(good.ok) << good.error;
    ASSERT_EQ(good.changes.size(), 2u);  // the type and bypass share one slot, sent once
    EXPECT_EQ(good.changes[1].second, 13);
    EXPECT_EQ(transaction, "\"t-7\"");

    for (const char* payload : {"", "[1]", R"({"mic1.volume": {"a": 1}})", R"({"mic1.volume": 1,})",
                                R"({"mic1.volume": 1, "mic1.volume": 2})", R"({"nosuch": 1})", R"({"mode.recall": 1})",
                                "{}", R"({"mic1.volume": null})"})
        EXPECT_FALSE(ParseChangeSet(payload, held, transaction).ok) << payload;
    EXPECT_NE(ParseOneChange("mic1.volme", "1", held).error.find("did you mean mic1.volume"), std::string::npos);
}

TEST(BridgePayloadsTest, StepsAndTogglesStartFromTheConfirmedValue) {
    const ParamEntry& volume = *FindParam("mic1.volume");
    const ParamEntry& phase = *FindParam("mic1.phase");
    const auto held = Holding({{volume.address, 40}, {phase.address, 0}});
    EXPECT_EQ(ParseOneChange("mic1.volume", "+=5", held).changes.at(0).second, 45);
    EXPECT_EQ(ParseOneChange("mic1.volume", " -= 500", held).changes.at(0).second, volume.min);  // at its limit
    EXPECT_EQ(ParseOneChange("mic1.phase", "toggle", held).changes.at(0).second, 1);
    std::string transaction;
    const ChangeList both = ParseChangeSet(R"({"mic1.volume": "+=10", "mic1.phase": "toggle"})", held, transaction);
    ASSERT_TRUE(both.ok) << both.error;
    EXPECT_EQ(both.changes.size(), 2u);

    EXPECT_FALSE(ParseOneChange("noisegate", "toggle", held).ok);     // four levels
    EXPECT_FALSE(ParseOneChange("mic1.eq2.gain", "+=1", held).ok);    // not sent by the unit yet
    EXPECT_FALSE(ParseChangeSet(R"({"mic1.volume": "+=10", "mic1.eq1.type": "+=1"})", held, transaction).ok);
}

TEST(BridgePayloadsTest, EnvelopesModesAndResponses) {
    const CommandEnvelope wrapped = OpenEnvelope(R"({"value": "-3dB", "transaction": 42})");
    ASSERT_TRUE(wrapped.ok);
    EXPECT_EQ(wrapped.value, "-3dB");
    EXPECT_EQ(wrapped.transactionJson, "42");
    EXPECT_EQ(OpenEnvelope(" 1.2kHz\n").value, "1.2kHz");
    EXPECT_FALSE(OpenEnvelope(R"({"transaction": "x"})").ok);
    EXPECT_FALSE(OpenEnvelope(R"({"value": 1, "other": 2})").ok);
    EXPECT_EQ(TransactionOf(R"({"mic1.volume": 1, "transaction": "x"})"), "\"x\"");
    EXPECT_EQ(TransactionOf("80"), "");

    EXPECT_EQ(ParseModeNumber("1").mode, 1);
    EXPECT_EQ(ParseModeNumber(" 5 ").mode, 5);
    EXPECT_FALSE(ParseModeNumber("0").ok);
    EXPECT_FALSE(ParseModeNumber("6").ok);

    const QJsonObject response = Object(ResponseJson("set", false, "bad \"x\"", "\"id\""));
    EXPECT_EQ(response.value("status").toString(), "error");
    EXPECT_EQ(response.value("error").toString(), "bad \"x\"");
    EXPECT_EQ(response.value("transaction").toString(), "id");
}

TEST(BridgePayloadsTest, APresetPushIsReadAllOrNothing) {
    ParamStore source;
    source.SetShown(FindParam("mic1.volume")->address, 77);
    const std::string bytes = JoinPresetLines(WritePresetLines(source));
    ParamStore target;
    target.SetDevice(FindParam("mic1.volume")->address, 5);
    EXPECT_FALSE(ReadPresetPush(bytes.substr(0, bytes.size() / 2), target).ok);
    EXPECT_EQ(target.Device(FindParam("mic1.volume")->address), 5);
    EXPECT_FALSE(ReadPresetPush(std::string(kMaxPresetPushBytes + 1, 'A'), target).ok);
    ASSERT_TRUE(ReadPresetPush(bytes, target).ok);
    EXPECT_EQ(target.Device(FindParam("mic1.volume")->address), 77);
}

// The keys Home Assistant documents for MQTT discovery of these components.
const QSet<QString> kCommonKeys = {"name", "unique_id", "object_id", "device", "availability", "availability_mode",
                                   "enabled_by_default", "command_topic", "state_topic"};
const std::map<QString, QSet<QString>> kComponentKeys = {
    {"number", {"min", "max", "step", "unit_of_measurement", "mode"}},
    {"select", {"options"}},
    {"switch", {"payload_on", "payload_off", "state_on", "state_off"}},
    {"button", {"payload_press"}},
};
const QSet<QString> kDeviceKeys = {"identifiers", "name", "model", "manufacturer", "serial_number", "sw_version"};

TEST(BridgeDiscoveryTest, ConfigsUseOnlyDocumentedKeysAndNeedBothAvailabilities) {
    const BridgeTopics topics("tr640");
    const auto configs = DiscoveryConfigs(topics, "homeassistant", {"VIRTUAL-1", "TR640", "1.0"});
    std::map<QString, int> counts;
    QSet<QString> ids;
    for (const DiscoveryMessage& message : configs) {
        const QString component = QString::fromStdString(message.topic).section('/', 1, 1);
        ASSERT_TRUE(kComponentKeys.count(component)) << message.topic;
        ++counts[component];
        const QJsonObject config = Object(message.payload);
        for (const QString& key : config.keys())
            EXPECT_TRUE(kCommonKeys.contains(key) || kComponentKeys.at(component).contains(key))
                << message.topic << " " << key.toStdString();
        for (const QString& key : config.value("device").toObject().keys()) EXPECT_TRUE(kDeviceKeys.contains(key));
        EXPECT_FALSE(ids.contains(config.value("unique_id").toString()));
        ids.insert(config.value("unique_id").toString());
        EXPECT_EQ(config.value("availability_mode").toString(), "all");
        EXPECT_EQ(config.value("availability").toArray().size(), 2);
    }
    EXPECT_EQ(counts["button"], 5);
    EXPECT_EQ(counts["switch"], 10);  // five bands on each microphone
    const QJsonObject gain = Object(std::find_if(configs.begin(), configs.end(), [](const auto& m) {
                                        return m.topic == "homeassistant/number/tr640_VIRTUAL-1/mic1_eq3_gain/config";
                                    })->payload);
    EXPECT_EQ(gain.value("unit_of_measurement").toString(), "dB");
    EXPECT_FALSE(gain.value("enabled_by_default").toBool(true));
    EXPECT_EQ(gain.value("command_topic").toString(), "tr640/VIRTUAL-1/mic1.eq3.gain/set");
}

}  // namespace
}  // namespace tr640
