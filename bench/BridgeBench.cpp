// SPDX-License-Identifier: GPL-3.0-or-later
// tr640-bridge's figures against a real Mosquitto on loopback and virtual
// units, real timers throughout. A plain program:
//   tr640_bench_bridge [--changes N] [--idle-seconds S] [--idle-units U]
//   tr640_bench_bridge --scale BRIDGE_PROGRAM [--bridges B] [--units U]
//                      [--rate R] [--seconds S]
// prints
//   - the time from publishing a /set to its "ok" response, median and 99th
//     percentile over N changes (default 200), beside the same change made
//     straight on the bridge's hold of the unit (no broker);
//   - the CPU share of a bridge holding U linked, idle units (default 8)
//     over S seconds (default 30), per unit. The virtual units' reader
//     threads run in this process and count too; the broker does not.
// With --scale, instead: B bridge processes (default 10) of U virtual units
// each (default 8) on one broker, bases room1 .. roomB, and R changes a
// second (default 50) spread over all their units for S seconds (default
// 20), each a /set with a transaction id: the time to each one's ok
// (median, p99) and the bridges' CPU per unit under that load.

#include "bridge/Bridge.h"
#include "bridge/BridgeUnit.h"
#include "mqtt/MqttClient.h"
#include "model/ParamCatalogue.h"
#include "support/MosquittoBroker.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

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

// A process's CPU time so far (user and system), from /proc.
double ProcessCpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which may hold spaces: utime and
    // stime are the 12th and 13th of them.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong()) /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The bridge processes of a scale run, ended however the run ends.
struct BridgeProcesses {
    ~BridgeProcesses() {
        for (const auto& p : list) {
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill(), p->waitForFinished();
        }
    }
    std::vector<std::unique_ptr<QProcess>> list;
};

struct ScaleRun {
    QString program;
    int bridges = 10;
    int units = 8;
    int rate = 50;
    int seconds = 20;
};

bool Scale(const ScaleRun& run) {
    test::MosquittoBroker broker;
    if (!broker.Start()) return std::fprintf(stderr, "the broker did not start\n"), false;
    BridgeProcesses processes;
    std::vector<std::unique_ptr<QProcess>>& bridges = processes.list;
    for (int b = 1; b <= run.bridges; ++b) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(run.program, {"--broker", broker.Url(), "--virtual", QString::number(run.units), "--base",
                                     QStringLiteral("room%1").arg(b)});
        if (!process->waitForStarted()) return std::fprintf(stderr, "%s did not start\n", qPrintable(run.program)), false;
        bridges.push_back(std::move(process));
    }
    MqttSettings settings;
    settings.broker = *ParseBrokerUrl(broker.Url().toStdString()).address;
    settings.clientId = "bench-scale-client";
    MqttClient client(settings);
    int online = 0;
    std::map<std::string, QElapsedTimer> sent;
    std::vector<double> ms;
    int failures = 0;
    QObject::connect(&client, &MqttClient::MessageReceived, [&](const std::string& topic, const std::string& payload, bool) {
        if (topic.size() > 13 && topic.compare(topic.size() - 13, 13, "/availability") == 0 && payload == "online")
            ++online;
        if (topic.size() <= 9 || topic.compare(topic.size() - 9, 9, "/response") != 0) return;
        const QJsonObject response = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
        const auto it = sent.find(response.value("transaction").toString().toStdString());
        if (it == sent.end()) return;
        ms.push_back(static_cast<double>(it->second.nsecsElapsed()) / 1e6);
        failures += response.value("status").toString() != QLatin1String("ok");
        sent.erase(it);
    });
    // Only what the run needs: with every state topic the broker would drop
    // part of the retained burst to a client that cannot keep up.
    for (int b = 1; b <= run.bridges; ++b) {
        client.Subscribe("room" + std::to_string(b) + "/+/availability");
        client.Subscribe("room" + std::to_string(b) + "/+/response");
    }
    if (!client.Start()) return false;
    const int all = run.bridges * run.units;
    if (!WaitUntil([&] { return online >= all; }, 300000))
        return std::fprintf(stderr, "only %d of %d units came online\n", online, all), false;

    std::vector<double> cpuBefore;
    for (const auto& p : bridges) cpuBefore.push_back(ProcessCpuSeconds(p->processId()));
    QElapsedTimer wall;
    wall.start();
    const int total = run.rate * run.seconds;
    for (int n = 0; n < total; ++n) {
        // Paced from the start, so that a slow moment is caught up, not lost.
        WaitUntil([&] { return wall.elapsed() >= static_cast<qint64>(n) * 1000 / run.rate; }, 10000);
        const int unit = n % all;
        const std::string topic = "room" + std::to_string(unit / run.units + 1) + "/VIRTUAL-" +
                                  std::to_string(unit % run.units + 1) + "/mic1.volume/set";
        const std::string id = "t" + std::to_string(n);
        sent[id].start();
        client.Publish(topic, "{\"value\": \"" + std::to_string(40 + n % 100) + "\", \"transaction\": \"" + id + "\"}",
                       false);
    }
    WaitUntil([&] { return sent.empty(); }, 20000);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    double cpu = 0;
    for (std::size_t i = 0; i < bridges.size(); ++i) cpu += ProcessCpuSeconds(bridges[i]->processId()) - cpuBefore[i];
    if (ms.empty()) return false;
    std::printf("%d bridges x %d units on one broker, %d changes/s for %d s:\n", run.bridges, run.units, run.rate,
                run.seconds);
    PrintSpread("  /set to ok", ms);
    std::printf("  unanswered %zu, not ok %d; the bridges' CPU: %.3f %% of a core per unit\n", sent.size(), failures,
                cpu / elapsed * 100.0 / all);
    return sent.empty() && failures == 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int changes = 200, idleSeconds = 30, idleUnits = 8;
    ScaleRun scale;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--scale")) scale.program = QString::fromLocal8Bit(argv[i + 1]);
        if (!std::strcmp(argv[i], "--bridges")) scale.bridges = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--units")) scale.units = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--rate")) scale.rate = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--seconds")) scale.seconds = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--changes")) changes = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--idle-seconds")) idleSeconds = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--idle-units")) idleUnits = std::atoi(argv[i + 1]);
    }
    if (!scale.program.isEmpty()) return Scale(scale) ? 0 : 1;
    const bool ok = BrokerLatency(changes) && SessionLatency(changes) && IdleCpu(idleUnits, idleSeconds);
    return ok ? 0 : 1;
}
