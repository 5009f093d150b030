// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A tr640-bridge over virtual units on a real Mosquitto on loopback, with a
// client that sees every message under tr640/ and can publish commands.

#include "bridge/Bridge.h"
#include "model/ParamCatalogue.h"
#include "mqtt/MqttClient.h"
#include "support/MosquittoBroker.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tr640::test {

inline ParamAddress AddressOf(const char* name) { return FindParam(name)->address; }

class BridgeFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(broker_.Start()) << broker_.Log().toStdString(); }

    MqttSettings Settings(const char* id, bool will) const {
        MqttSettings settings;
        settings.broker = *ParseBrokerUrl(broker_.Url().toStdString()).address;
        settings.clientId = id;
        if (will) settings.willTopic = "tr640/bridge/state", settings.willPayload = "offline";
        return settings;
    }

    std::string Plug(const std::string& serial) {
        units_.push_back(std::make_unique<VirtualTr640>());
        const std::string path =
            bus_.Plug(VirtualTr640Info(serial), std::make_shared<VirtualTr640Endpoint>(*units_.back()));
        paths_[serial] = path;
        return path;
    }

    void StartBridge(std::optional<std::string> homeAssistant = std::nullopt, std::vector<std::string> serials = {}) {
        bridgeMqtt_ = std::make_unique<MqttClient>(Settings("bridge", true));
        BridgeOptions options;
        options.serials = std::move(serials);
        options.lockDirectory = locks_.path().toStdString();
        options.homeAssistantPrefix = homeAssistant;
        bridge_ = std::make_unique<Bridge>(bus_, *bridgeMqtt_, options);
        ASSERT_TRUE(bridgeMqtt_->Start());
        bridge_->Start();
        client_ = std::make_unique<MqttClient>(Settings("client", false));
        QObject::connect(client_.get(), &MqttClient::MessageReceived,
                         [this](const std::string& topic, const std::string& payload, bool) {
                             last_[topic] = payload;
                             received_.emplace_back(topic, payload);
                         });
        client_->Subscribe("tr640/#");
        if (homeAssistant) client_->Subscribe(*homeAssistant + "/#");
        ASSERT_TRUE(client_->Start());
        ASSERT_TRUE(QTest::qWaitFor([&] { return client_->IsConnected() && bridgeMqtt_->IsConnected(); }));
    }

    bool WaitFor(const std::string& topic, const std::string& payload) {
        return QTest::qWaitFor([&] { return last_.count(topic) && last_[topic] == payload; }, 15000);
    }

    // Publishes a command and waits for its one response.
    QJsonObject Command(const std::string& unit, const std::string& tail, const std::string& payload) {
        const std::string response = "tr640/" + unit + "/response";
        const std::size_t before = Responses(response);
        client_->Publish("tr640/" + unit + "/" + tail, payload, false);
        if (!QTest::qWaitFor([&] { return Responses(response) > before; }, 15000)) return {};
        return QJsonDocument::fromJson(QByteArray::fromStdString(last_[response])).object();
    }

    std::size_t Responses(const std::string& topic) const {
        return static_cast<std::size_t>(
            std::count_if(received_.begin(), received_.end(), [&](const auto& m) { return m.first == topic; }));
    }

    MosquittoBroker broker_;
    QTemporaryDir locks_;
    std::vector<std::unique_ptr<VirtualTr640>> units_;  // outlive the bus, whose endpoints hold them
    VirtualHidBus bus_;
    std::map<std::string, std::string> paths_;
    std::unique_ptr<MqttClient> bridgeMqtt_;
    std::unique_ptr<Bridge> bridge_;
    std::unique_ptr<MqttClient> client_;
    std::map<std::string, std::string> last_;
    std::vector<std::pair<std::string, std::string>> received_;
};

}  // namespace tr640::test
