// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/UnitAccess.h"
#include "model/ParamStore.h"
#include "mqtt/BridgeTopics.h"
#include "mqtt/MqttClient.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tr640 {

// A unit that a running tr640-bridge holds, reached through its broker: the
// bridge's own topics and responses, nothing of a second protocol. A command
// is published with a transaction id of its own and waits for the response
// that carries it; the unit's values are the state object the bridge keeps
// retained and publishes again, before its response, whenever they change.
class BrokerUnit final : public QObject, public UnitAccess {
public:
    BrokerUnit(MqttSettings settings, std::string baseTopic, int timeoutMs, std::function<bool()> interrupted);
    ~BrokerUnit() override;

    std::vector<UnitListing> List() override;
    bool Connect(const DeviceChoice& choice) override;
    const ParamStore& Values() const override { return store_; }
    bool SendChanges(const UnitChanges& changes) override;
    // The bridge publishes the state before its response: it is here already.
    bool ReadBack(bool) override { return true; }
    bool PushPreset(const ParamStore& file) override;
    bool RecallMode(int mode) override;
    bool SaveMode(int mode) override;
    const Failure& Failed() const override { return failure_; }

private:
    struct Response {
        bool ok = false;
        std::string error;
    };
    struct Waiting {
        std::string command;  // as the response names it: "set", "mode/recall", ...
        std::string transaction;
    };

    bool Fail(int code, std::string message);
    bool ReachBroker();
    bool ReachBridge();
    bool WaitFor(const std::function<bool()>& done, const char* what);
    bool Settled();
    void OnMessage(const std::string& topic, const std::string& payload);
    bool ReadUnits(const std::string& payload);
    bool ReadState(const std::string& payload);
    bool Command(const std::string& topic, const std::string& command, const std::string& payload,
                 const std::string& transaction);
    std::string NextTransaction();

    MqttClient mqtt_;
    BridgeTopics topics_;
    int timeoutMs_;
    std::function<bool()> interrupted_;
    Failure failure_;
    std::string attemptFailed_;
    bool brokerLost_ = false;

    // What the bridge has said.
    std::optional<std::string> bridgeState_;
    std::optional<std::vector<UnitListing>> units_;
    std::string unit_;          // the chosen unit's topic name
    std::string availability_;
    bool stateRead_ = false;
    std::optional<Waiting> waiting_;  // the command that waits for its response
    std::optional<Response> response_;
    std::string probe_;  // a topic of this client's own: once it comes back, the retained messages before it are in
    bool probed_ = false;
    int transactions_ = 0;

    ParamStore store_;
};

}  // namespace tr640
