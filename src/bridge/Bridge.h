// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The units of one host on an MQTT broker: a session per TR640 present (or
// per serial asked for), their state as retained topics, their commands from
// the broker one after another with a response each, and Home Assistant's
// discovery when asked for.

#include "mqtt/BridgeTopics.h"
#include "mqtt/MqttClient.h"
#include "bridge/BridgeUnit.h"
#include "link/UnitLock.h"

#include <QObject>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tr640 {

class HidPlatform;

struct BridgeOptions {
    std::string base = "tr640";
    std::optional<std::string> homeAssistantPrefix;  // discovery only when given
    std::vector<std::string> serials;                // empty: every unit present
    std::string version;
    std::string lockDirectory = UnitLock::DefaultDirectory();
    std::string programName = "tr640-bridge";
};

class Bridge : public QObject {
    Q_OBJECT
public:
    Bridge(HidPlatform& platform, MqttClient& mqtt, BridgeOptions options, QObject* parent = nullptr);
    ~Bridge() override;

    // Takes the units present and follows plug and unplug.
    void Start();
    // Says offline for the bridge and every unit, before the program ends.
    void Stop();

    // Events; the platform and the client call these.
    void OnDevicesChanged();
    void OnBrokerConnected();
    void OnMessage(const std::string& topic, const std::string& payload, bool retained);

    // The number of units with a session, linked or not.
    std::size_t SessionCount() const;

    // The English line of an outcome, as the response carries it.
    static std::string OutcomeText(UnitOutcome outcome);

private:
    struct Command {
        CommandTopic topic;
        std::string payload;
    };
    struct Unit {
        HidDeviceInfo info;
        std::string name;  // the topic level
        std::unique_ptr<UnitLock> lock;
        std::unique_ptr<BridgeUnit> session;
        std::string whyNot;
        std::map<int, std::string> published;  // address -> the text last published
        std::deque<Command> queue;
        std::optional<Command> running;
        std::string runningTransaction;
    };

    bool Wanted(const HidDeviceInfo& info) const;
    void AddUnit(const HidDeviceInfo& info);
    void OpenSession(Unit& unit);
    void RemoveUnit(const std::string& name);
    Unit* FindUnit(const std::string& name);

    void PublishUnits();
    void PublishUnit(Unit& unit, bool everything);
    void PublishAvailability(const Unit& unit);
    void PublishDiscovery(const Unit& unit);
    void Publish(const std::string& topic, const std::string& payload, bool retain = true);

    void Enqueue(Unit& unit, Command command);
    void RunNext(Unit& unit);
    bool CheckCommand(Unit& unit, const Command& command, std::string& transaction, std::string& error,
                      std::function<void()>& go);
    void Respond(const std::string& unitName, const Command& command, bool ok, const std::string& error,
                 const std::string& transaction);
    void OnFinished(Unit& unit, UnitOutcome outcome);

    HidPlatform& platform_;
    MqttClient& mqtt_;
    BridgeOptions options_;
    BridgeTopics topics_;
    std::map<std::string, Unit> units_;
    bool stopped_ = false;
};

}  // namespace tr640
