// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge for a bounded time against a real Mosquitto on loopback and two
// virtual units: random commands from a client (good ones and bad ones),
// unit faults (dropped, late and refused replies, silence) and broker
// restarts. After each busy spell the faults end and the check runs:
//   - every command was answered exactly once, each bad one with an error;
//   - every value a command was answered ok for is on the unit, unless a
//     later command on the same parameter failed (its fate is open);
//   - the retained state a client holds equals what the unit holds.
//   tr640_bridge_soak [--seconds N] [--seed S]      (default 60 s)
// Prints a summary beginning "soak:" and ends non-zero on the first failure.

#include "bridge/Bridge.h"
#include "mqtt/BridgePayloads.h"
#include "mqtt/MqttClient.h"
#include "model/ParamCatalogue.h"
#include "support/MosquittoBroker.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace tr640;

struct Counts {
    int commands = 0, ok = 0, errors = 0, bad = 0, restarts = 0, faults = 0, checks = 0;
};

class Soak {
    struct Sent {
        int unit = 0;
        std::map<int, std::int32_t> changes;
        bool bad = false;
        std::string payload;
    };

public:
    explicit Soak(unsigned seed) : random_(seed) {
        for (const char* serial : {"VIRTUAL-1", "VIRTUAL-2"}) {
            units_.push_back(std::make_unique<VirtualTr640>());
            bus_.Plug(VirtualTr640Info(serial), std::make_shared<VirtualTr640Endpoint>(*units_.back()));
        }
        for (const ParamEntry& e : ParamCatalogue())
            if (e.format == ParamFormat::Kind || e.format == ParamFormat::List) settable_.push_back(&e);
        // The units' own clock: a late reply goes out after its ticks.
        QObject::connect(&deviceClock_, &QTimer::timeout, [this] {
            for (auto& unit : units_) unit->Tick();
        });
        deviceClock_.start(10);
    }

    bool Start() {
        if (!broker_.Start()) return Fail("the broker did not start");
        bridgeMqtt_ = std::make_unique<MqttClient>(Settings("soak-bridge"));
        BridgeOptions options;
        options.lockDirectory = locks_.path().toStdString();
        bridge_ = std::make_unique<Bridge>(bus_, *bridgeMqtt_, options);
        client_ = std::make_unique<MqttClient>(Settings("soak-client"));
        QObject::connect(client_.get(), &MqttClient::MessageReceived,
                         [this](const std::string& topic, const std::string& payload, bool) { OnMessage(topic, payload); });
        client_->Subscribe("tr640/#");
        if (!bridgeMqtt_->Start() || !client_->Start()) return Fail("the MQTT clients did not start");
        bridge_->Start();
        return Settled();
    }

    bool Run(int seconds) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < seconds * 1000LL) {
            if (Chance(4)) StartFault();
            QElapsedTimer busy;
            busy.start();
            while (busy.elapsed() < 3000) {
                Command();
                QTest::qWait(std::uniform_int_distribution<int>(20, 150)(random_));
            }
            for (auto& unit : units_) unit->ClearFaults(), unit->SetSilent(false);
            if (!Settled()) return false;
            if (Chance(4) && !RestartBroker()) return false;
        }
        return true;
    }

    const Counts& counts() const { return counts_; }

private:
    MqttSettings Settings(const char* id) const {
        MqttSettings settings;
        settings.broker = *ParseBrokerUrl(broker_.Url().toStdString()).address;
        settings.clientId = id;
        return settings;
    }

    bool Chance(int oneIn) { return std::uniform_int_distribution<int>(1, oneIn)(random_) == 1; }
    bool Fail(const std::string& why) {
        std::fprintf(stderr, "soak: FAIL: %s\n", why.c_str());
        return false;
    }

    void StartFault() {
        VirtualTr640& unit = *units_[std::uniform_int_distribution<std::size_t>(0, units_.size() - 1)(random_)];
        ++counts_.faults;
        switch (std::uniform_int_distribution<int>(0, 3)(random_)) {
        case 0: unit.SetDropEveryNth(5); break;
        case 1: unit.SetReplyDelay(3); break;
        case 2: unit.SetRefuseEveryNth(7); break;
        default: unit.SetSilent(true); break;
        }
    }

    // One command with a transaction id of its own, good or (one in eight) bad.
    void Command() {
        const int unit = std::uniform_int_distribution<int>(1, static_cast<int>(units_.size()))(random_);
        const std::string id = std::to_string(++lastId_);
        Sent sent{unit, {}, Chance(8), {}};
        std::string tail = "set", payload;
        if (sent.bad) {
            tail = "mic1.volume/set";
            payload = R"({"value": "1000%", "transaction": ")" + id + "\"}";
        } else if (Chance(3)) {
            std::string body;
            for (int i = 0; i < 3; ++i) body += Change(sent) + ",";
            payload = "{" + body + "\"transaction\":\"" + id + "\"}";
        } else {
            const ParamEntry& e = Pick();
            const std::int32_t raw = std::uniform_int_distribution<std::int32_t>(e.min, e.max)(random_);
            sent.changes[e.address] = raw;
            tail = e.name + "/set";
            payload = "{\"value\":\"" + FormatStateValue(e, raw).text + "\",\"transaction\":\"" + id + "\"}";
        }
        if (!client_->Publish("tr640/VIRTUAL-" + std::to_string(unit) + "/" + tail, payload, false)) return;
        ++counts_.commands;
        sent.payload = tail + " " + payload;
        sent_[id] = sent;
    }

    // A change of a parameter the set does not name yet (a JSON object names
    // each once).
    std::string Change(Sent& sent) {
        const ParamEntry* picked = &Pick();
        while (sent.changes.count(picked->address)) picked = &Pick();
        const ParamEntry& e = *picked;
        const std::int32_t raw = std::uniform_int_distribution<std::int32_t>(e.min, e.max)(random_);
        sent.changes[e.address] = raw;
        return "\"" + e.name + "\":\"" + FormatStateValue(e, raw).text + "\"";
    }

    const ParamEntry& Pick() {
        return *settable_[std::uniform_int_distribution<std::size_t>(0, settable_.size() - 1)(random_)];
    }

    void OnMessage(const std::string& topic, const std::string& payload) {
        last_[topic] = payload;
        if (topic.size() < 9 || topic.compare(topic.size() - 9, 9, "/response") != 0) return;
        const QJsonObject response = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
        const std::string id = response.value("transaction").toString().toStdString();
        const auto it = sent_.find(id);
        if (it == sent_.end() || !answered_.insert(id).second) {
            failure_ = "a response to an unknown or already answered command: " + payload;
            return;
        }
        const bool ok = response.value("status").toString() == "ok";
        if (it->second.bad && ok) failure_ = "a bad command was answered ok: " + payload;
        ok ? ++counts_.ok : ++counts_.errors;
        counts_.bad += it->second.bad;
        for (const auto& [address, raw] : it->second.changes) {
            const std::pair<int, int> key{it->second.unit, address};
            if (ok) expected_[key] = raw;
            else expected_.erase(key);  // sent in part, or not at all: open
        }
    }

    // Everything answered, both units online, the retained state equal to
    // the units; then every ok value is checked on its unit.
    bool Settled() {
        ++counts_.checks;
        const auto allAnswered = [&] { return answered_.size() == sent_.size(); };
        if (!QTest::qWaitFor(allAnswered, 30000)) {
            for (const auto& [id, sent] : sent_)
                if (!answered_.count(id)) std::fprintf(stderr, "unanswered %s: %s\n", id.c_str(), sent.payload.c_str());
            return Fail("commands were not answered" + (failure_.empty() ? "" : "; " + failure_));
        }
        for (std::size_t u = 1; u <= units_.size(); ++u) {
            const std::string unit = "tr640/VIRTUAL-" + std::to_string(u);
            if (!QTest::qWaitFor([&] { return last_[unit + "/availability"] == "online"; }, 30000))
                return Fail(unit + " did not come back online");
            if (!QTest::qWaitFor([&] { return StateMismatch(u).empty(); }, 10000))
                return Fail(unit + " retained state differs from the unit: " + StateMismatch(u));
        }
        for (const auto& [key, raw] : expected_) {
            if (units_[static_cast<std::size_t>(key.first - 1)]->Value(static_cast<std::uint16_t>(key.second)) != raw)
                return Fail("an ok value is not on the unit at address " + std::to_string(key.second));
        }
        return failure_.empty() || Fail(failure_);
    }

    std::string StateMismatch(std::size_t u) {
        const std::string unit = "tr640/VIRTUAL-" + std::to_string(u) + "/";
        for (const ParamEntry& e : ParamCatalogue()) {
            if (!IsStateEntry(e)) continue;
            const std::string held = FormatStateValue(e, units_[u - 1]->Value(e.address)).text;
            if (last_[unit + e.name] != held) return e.name + " " + last_[unit + e.name] + " != " + held;
        }
        return {};
    }

    bool RestartBroker() {
        ++counts_.restarts;
        broker_.Kill();
        if (!QTest::qWaitFor([&] { return !bridgeMqtt_->IsConnected() && !client_->IsConnected(); }))
            return Fail("the clients did not notice the broker go");
        last_.clear();
        if (!broker_.Start()) return Fail("the broker did not start again");
        bridgeMqtt_->OnReconnectTick();
        client_->OnReconnectTick();
        if (!QTest::qWaitFor([&] { return last_["tr640/bridge/state"] == "online"; }, 30000))
            return Fail("the bridge did not come back to the broker");
        return Settled();
    }

    std::mt19937 random_;
    QTimer deviceClock_;
    std::vector<std::unique_ptr<VirtualTr640>> units_;  // outlive the bus
    VirtualHidBus bus_;
    test::MosquittoBroker broker_;
    QTemporaryDir locks_;
    std::unique_ptr<MqttClient> bridgeMqtt_, client_;
    std::unique_ptr<Bridge> bridge_;
    std::vector<const ParamEntry*> settable_;
    std::map<std::string, std::string> last_;
    std::map<std::string, Sent> sent_;
    std::set<std::string> answered_;
    std::map<std::pair<int, int>, std::int32_t> expected_;
    std::string failure_;
    long lastId_ = 0;
    Counts counts_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int seconds = 60;
    unsigned seed = std::random_device{}();
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds")) seconds = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--seed")) seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    }
    Soak soak(seed);
    const bool ok = soak.Start() && soak.Run(seconds);
    const Counts& c = soak.counts();
    std::printf("soak: bridge, seed %u, %d s\n  commands %d: ok %d, error %d (bad on purpose %d)\n"
                "  unit faults %d, broker restarts %d, quiet checks %d\n  %s\n",
                seed, seconds, c.commands, c.ok, c.errors, c.bad, c.faults, c.restarts, c.checks,
                ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
