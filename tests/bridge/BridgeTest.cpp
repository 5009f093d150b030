// SPDX-License-Identifier: GPL-3.0-or-later
// tr640-bridge against a real Mosquitto on loopback and virtual units, talked
// to as a client would: commands published, state and responses received.

#include "BridgeFixture.h"
#include "bridge/Bridge.h"
#include "mqtt/MqttClient.h"
#include "link/UnitLock.h"
#include "virtualdevice/VirtualHidBus.h"
#include "model/ParamCatalogue.h"
#include "model/ParamStore.h"
#include "presets/FileSystem.h"
#include "support/MosquittoBroker.h"
#include "virtualdevice/VirtualTr640.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <memory>
#include <vector>

namespace tr640 {
namespace {

using test::AddressOf;
using test::MosquittoBroker;

class BridgeTest : public test::BridgeFixture {};

TEST_F(BridgeTest, TwoUnitsTakeChangesByNameAndByJsonSetOnceAcknowledged) {
    Plug("VIRTUAL-1");
    Plug("VIRTUAL-2");
    StartBridge();
    ASSERT_TRUE(WaitFor("tr640/bridge/state", "online"));
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "online"));
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-2/availability", "online"));
    ASSERT_TRUE(last_.count("tr640/VIRTUAL-2/mic1.volume"));

    const QJsonObject one = Command("VIRTUAL-2", "mic1.volume/set", R"({"value": "55%", "transaction": "a"})");
    EXPECT_EQ(one.value("status").toString(), "ok") << one.value("error").toString().toStdString();
    EXPECT_EQ(one.value("transaction").toString(), "a");
    EXPECT_EQ(units_[1]->Value(AddressOf("mic1.volume")), 55);
    EXPECT_NE(units_[0]->Value(AddressOf("mic1.volume")), 55);
    EXPECT_TRUE(WaitFor("tr640/VIRTUAL-2/mic1.volume", "55"));

    const QJsonObject set = Command("VIRTUAL-1", "set", R"({"mic2.volume": 33, "mic1.eq1.bypass": true})");
    EXPECT_EQ(set.value("status").toString(), "ok") << set.value("error").toString().toStdString();
    EXPECT_EQ(units_[0]->Value(AddressOf("mic2.volume")), 33);
    EXPECT_TRUE(WaitFor("tr640/VIRTUAL-1/mic1.eq1.bypass", "true"));
    const QJsonObject state =
        QJsonDocument::fromJson(QByteArray::fromStdString(last_["tr640/VIRTUAL-1"])).object();
    EXPECT_EQ(state.value("mic2.volume").toDouble(), 33);

    const QJsonObject recall = Command("VIRTUAL-1", "mode/recall", "2");
    EXPECT_EQ(recall.value("status").toString(), "ok") << recall.value("error").toString().toStdString();

    ParamStore preset;
    for (int index = 0; index < ParamStore::kDeviceWidth; ++index) preset.SetShown(1, index, units_[0]->Value(1, index));
    preset.SetShown(AddressOf("mic1.volume"), 66);
    const QJsonObject push = Command("VIRTUAL-1", "preset/push", JoinPresetLines(WritePresetLines(preset)));
    EXPECT_EQ(push.value("status").toString(), "ok") << push.value("error").toString().toStdString();
    EXPECT_EQ(units_[0]->Value(AddressOf("mic1.volume")), 66);
    EXPECT_TRUE(WaitFor("tr640/VIRTUAL-1/mic1.volume", "66"));
}

TEST_F(BridgeTest, EveryBadInputIsAnsweredWithAnErrorAndNothingIsSent) {
    Plug("VIRTUAL-1");
    StartBridge();
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "online"));
    units_[0]->ClearWriteLog();
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"nosuch.name/set", "1"},
        {"mic1.volume/set", "999"},
        {"mic1.volume/set", "loud"},
        {"mic1.volume/set", R"({"value": 1, "transaction": [1]})"},
        {"mic1.volume/set", "{\"value\": 1"},
        {"set", R"({"mic1.volume": 50, "mic1.eq1.freq": "1MHz"})"},
        {"set", "not json"},
        {"mode/recall", "6"},
        {"mode/save", "one"},
        {"preset/push", "garbage"},
    };
    for (const auto& [tail, payload] : bad) {
        const QJsonObject response = Command("VIRTUAL-1", tail, payload);
        EXPECT_EQ(response.value("status").toString(), "error") << tail << " " << payload;
        EXPECT_FALSE(response.value("error").toString().isEmpty()) << tail;
    }
    EXPECT_EQ(Command("NOSUCH", "mic1.volume/set", "1").value("status").toString(), "error");
    // Keep-alives went on; no parameter was written.
    for (const auto& write : units_[0]->WriteLog())
        for (const ParamEntry& entry : ParamCatalogue()) EXPECT_NE(write.address, entry.address) << entry.name;
}

TEST_F(BridgeTest, AnUnpluggedUnitIsOfflineAndAReplugBringsFreshState) {
    Plug("VIRTUAL-1");
    StartBridge();
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "online"));
    bus_.Unplug(paths_["VIRTUAL-1"]);
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "offline"));
    EXPECT_EQ(Command("VIRTUAL-1", "mic1.volume/set", "20").value("status").toString(), "error");

    // Changed while away, as on another computer: the state shows it.
    units_[0]->SetValue(AddressOf("mic1.volume"), 123);
    bus_.Plug(VirtualTr640Info("VIRTUAL-1"), std::make_shared<VirtualTr640Endpoint>(*units_[0]));
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "online"));
    EXPECT_TRUE(WaitFor("tr640/VIRTUAL-1/mic1.volume", "123"));
}

TEST_F(BridgeTest, AfterTheBrokerRestartsTheStateIsBackAndEachCommandIsAnsweredOnce) {
    Plug("VIRTUAL-1");
    StartBridge();
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "online"));
    broker_.Kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bridgeMqtt_->IsConnected() && !client_->IsConnected(); }));
    last_.clear();
    received_.clear();
    ASSERT_TRUE(broker_.Start());
    // The reconnection ticks, at once rather than after their delay.
    bridgeMqtt_->OnReconnectTick();
    client_->OnReconnectTick();
    ASSERT_TRUE(WaitFor("tr640/bridge/state", "online"));
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "online"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return last_.count("tr640/VIRTUAL-1/mic1.volume") > 0; }));

    for (int value : {10, 11, 12}) client_->Publish("tr640/VIRTUAL-1/mic1.volume/set", std::to_string(value), false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Responses("tr640/VIRTUAL-1/response") >= 3; }, 15000));
    EXPECT_TRUE(WaitFor("tr640/VIRTUAL-1/mic1.volume", "12"));
    EXPECT_EQ(units_[0]->Value(AddressOf("mic1.volume")), 12);
    EXPECT_EQ(Responses("tr640/VIRTUAL-1/response"), 3u);
}

TEST_F(BridgeTest, AUnitHeldByAnotherProgramIsNamedWithItsHolder) {
    Plug("VIRTUAL-1");
    UnitLock other(locks_.path().toStdString());
    ASSERT_EQ(other.Take("VIRTUAL-1", "tr640ctl"), UnitLock::Outcome::Taken);
    StartBridge();
    ASSERT_TRUE(QTest::qWaitFor([&] { return last_["tr640/bridge/units"].find("held by tr640ctl") != std::string::npos; }));
    EXPECT_NE(last_["tr640/bridge/units"].find("(process " + std::to_string(::getpid()) + ")"), std::string::npos);
    EXPECT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "offline"));
    const QJsonObject refused = Command("VIRTUAL-1", "mic1.volume/set", "20");
    EXPECT_NE(refused.value("error").toString().indexOf("held by tr640ctl"), -1);
    EXPECT_EQ(units_[0]->Stats().framesReceived, 0u);
}

// --serial: the units left out are neither published nor held, so that
// another program may drive them.
TEST_F(BridgeTest, OnlyTheUnitsNamedWithSerialAreTakenAndTheOthersAreLeftFree) {
    Plug("VIRTUAL-1");
    Plug("VIRTUAL-2");
    StartBridge(std::nullopt, {"VIRTUAL-2"});
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-2/availability", "online"));
    EXPECT_EQ(last_["tr640/bridge/units"].find("VIRTUAL-1"), std::string::npos) << last_["tr640/bridge/units"];
    EXPECT_EQ(last_.count("tr640/VIRTUAL-1/availability"), 0u);
    UnitLock windows(locks_.path().toStdString());
    EXPECT_EQ(windows.Take("VIRTUAL-1", "tr640"), UnitLock::Outcome::Taken);
    EXPECT_EQ(windows.Take("VIRTUAL-2", "tr640"), UnitLock::Outcome::HeldByOther);
    EXPECT_EQ(units_[0]->Stats().framesReceived, 0u);
}

TEST_F(BridgeTest, DiscoveryIsSentAgainWhenHomeAssistantComesOnline) {
    Plug("VIRTUAL-1");
    StartBridge("homeassistant");
    const std::string config = "homeassistant/button/tr640_VIRTUAL-1/mode_recall_3/config";
    ASSERT_TRUE(QTest::qWaitFor([&] { return last_.count(config) > 0; }));
    ASSERT_TRUE(WaitFor("tr640/VIRTUAL-1/availability", "online"));
    received_.clear();
    client_->Publish("homeassistant/status", "online", false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Responses(config) == 1 && Responses("tr640/VIRTUAL-1") == 1; }));
}

}  // namespace
}  // namespace tr640
