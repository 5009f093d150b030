// SPDX-License-Identifier: GPL-3.0-or-later
// tr640-bridge's figures against a real Mosquitto on loopback and virtual
// units, real timers throughout. A plain program:
//   tr640_bench_bridge [--changes N] [--idle-seconds S] [--idle-units U]
// prints
//   - the time from publishing a /set to its "ok" response, median and 99th
//     percentile over N changes (default 200), beside the same change made
//     straight on the bridge's hold of the unit (no broker);
//   - the CPU share of a bridge holding U linked, idle units (default 8)
//     over S seconds (default 30), per unit. The virtual units' reader
//     threads run in this process and count too; the broker does not.

#include "bridge/Bridge.h"
#include "bridge/BridgeUnit.h"
#include "bridge/MqttClient.h"
#include "model/ParamCatalogue.h"
#include "support/MosquittoBroker.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tr640;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs the event loop until `done`, without the sleeps of QTest::qWaitFor:
// the bridge runs in this process, and a sleeping loop would hold it up.
template <typename Done>
bool WaitUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(100);
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void PrintSpread(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    std::printf("%s: median %.2f ms, p99 %.2f ms over %zu changes\n", what, median, p99, ms.size());
}

// A bridge over `count` virtual units, its broker and one client.
struct Rig {
    explicit Rig(int count) {
        for (int i = 1; i <= count; ++i) {
            units.push_back(std::make_unique<VirtualTr640>());
            bus.Plug(VirtualTr640Info("VIRTUAL-" + std::to_string(i)),
                     std::make_shared<VirtualTr640Endpoint>(*units.back()));
        }
    }
    bool Start() {
        if (!broker.Start()) return false;
        MqttSettings settings;
        settings.broker = *ParseBrokerUrl(broker.Url().toStdString()).address;
        settings.clientId = "bench-bridge";
        bridgeMqtt = std::make_unique<MqttClient>(settings);
        BridgeOptions options;
        options.lockDirectory = locks.path().toStdString();
        bridge = std::make_unique<Bridge>(bus, *bridgeMqtt, options);
        settings.clientId = "bench-client";
        client = std::make_unique<MqttClient>(settings);
        QObject::connect(client.get(), &MqttClient::MessageReceived,
                         [this](const std::string& topic, const std::string& payload, bool) {
                             if (topic.size() > 9 && topic.compare(topic.size() - 9, 9, "/response") == 0)
                                 ++responses, lastResponse = payload;
                             if (topic.size() > 13 && topic.compare(topic.size() - 13, 13, "/availability") == 0 &&
                                 payload == "online")
                                 ++online;
                         });
        client->Subscribe("tr640/#");
        if (!bridgeMqtt->Start() || !client->Start()) return false;
        bridge->Start();
        return WaitUntil([&] { return online >= static_cast<int>(units.size()); }, 60000);
    }

    std::vector<std::unique_ptr<VirtualTr640>> units;  // outlive the bus
    VirtualHidBus bus;
    test::MosquittoBroker broker;
    QTemporaryDir locks;
    std::unique_ptr<MqttClient> bridgeMqtt;
    std::unique_ptr<Bridge> bridge;
    std::unique_ptr<MqttClient> client;
    int responses = 0;
    int online = 0;
    std::string lastResponse;
};

bool BrokerLatency(int changes) {
    Rig rig(1);
    if (!rig.Start()) return std::fprintf(stderr, "the bridge did not come up\n"), false;
    std::vector<double> ms;
    for (int i = 0; i < changes; ++i) {
        const int before = rig.responses;
        QElapsedTimer clock;
        clock.start();
        rig.client->Publish("tr640/VIRTUAL-1/mic1.volume/set", std::to_string(50 + i % 100), false);
        if (!WaitUntil([&] { return rig.responses > before; }, 10000)) return false;
        if (rig.lastResponse.find("\"ok\"") == std::string::npos) return false;
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    PrintSpread("bridge: /set published to its ok response", ms);
    return true;
}

bool SessionLatency(int changes) {
    VirtualTr640 unit;
    VirtualHidBus bus;
    const std::string path = bus.Plug(VirtualTr640Info("VIRTUAL-1"), std::make_shared<VirtualTr640Endpoint>(unit));
    BridgeUnit hold(bus, bus.Enumerate().front());
    hold.Connect();
    if (!WaitUntil([&] { return hold.Linked(); }, 30000)) return false;
    bool finished = false;
    int failures = 0;
    QObject::connect(&hold, &BridgeUnit::Finished, [&](UnitOutcome outcome) {
        finished = true;
        failures += outcome != UnitOutcome::Ok;
    });
    std::vector<double> ms;
    const int address = FindParam("mic1.volume")->address;
    for (int i = 0; i < changes; ++i) {
        finished = false;
        QElapsedTimer clock;
        clock.start();
        hold.SendChanges({{address, 50 + i % 100}});
        if (!WaitUntil([&] { return finished; }, 10000)) return false;
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    PrintSpread("the unit's hold alone, no broker", ms);
    if (failures) std::printf("  %d changes not ok; the unit holds %d\n", failures, unit.Value(address));
    return failures == 0;
}

bool IdleCpu(int units, int seconds) {
    Rig rig(units);
    if (!rig.Start()) return false;
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    WaitUntil([&] { return wall.elapsed() >= seconds * 1000; }, seconds * 1000 + 1000);
    const double share = (CpuSeconds() - cpuBefore) / (static_cast<double>(wall.elapsed()) / 1000.0) * 100.0;
    std::printf("idle bridge, %d units, %d s: %.3f %% of a core, %.4f %% per unit\n", units, seconds, share,
                share / units);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int changes = 200, idleSeconds = 30, idleUnits = 8;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--changes")) changes = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--idle-seconds")) idleSeconds = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--idle-units")) idleUnits = std::atoi(argv[i + 1]);
    }
    const bool ok = BrokerLatency(changes) && SessionLatency(changes) && IdleCpu(idleUnits, idleSeconds);
    return ok ? 0 : 1;
}
