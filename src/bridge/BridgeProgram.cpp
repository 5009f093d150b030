// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/BridgeProgram.h"

#include "link/hid/HidapiPlatform.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <CLI/CLI.hpp>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <iostream>
#include <memory>

namespace tr640 {

namespace {

constexpr int kExitUsage = 2;
constexpr int kStopPollMs = 200;

std::string ClientId(const std::string& base) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return "tr640-bridge-" + std::string(host) + "-" + base + "-" + std::to_string(::getpid());
}

// Where the units come from: N virtual ones of their own, or the host's.
class Platform {
public:
    explicit Platform(int virtualUnits) {
        if (virtualUnits <= 0) {
            hidapi_ = std::make_unique<HidapiPlatform>();
            return;
        }
        bus_ = std::make_unique<VirtualHidBus>();
        for (int i = 1; i <= virtualUnits; ++i) {
            units_.push_back(std::make_unique<VirtualTr640>());
            bus_->Plug(VirtualTr640Info("VIRTUAL-" + std::to_string(i)),
                       std::make_shared<VirtualTr640Endpoint>(*units_.back()));
        }
    }
    HidPlatform& Get() { return bus_ ? static_cast<HidPlatform&>(*bus_) : *hidapi_; }

private:
    // The units outlive the bus, whose endpoints hold on to them.
    std::vector<std::unique_ptr<VirtualTr640>> units_;
    std::unique_ptr<VirtualHidBus> bus_;
    std::unique_ptr<HidapiPlatform> hidapi_;
};

}  // namespace

BridgeCommandLineResult ParseBridgeCommandLine(std::vector<std::string> args) {
    CLI::App app{"Puts every TR640 of this host on an MQTT broker, with Home Assistant discovery.\n"
                 "User name and password come from --credentials FILE or from TR640_MQTT_USERNAME and\n"
                 "TR640_MQTT_PASSWORD, never from the command line.",
                 "tr640-bridge"};
    std::string url, credentials;
    BridgeCommandLine o;
    o.bridge.version = TR640_VERSION;
    std::string haPrefix = "homeassistant";
    app.add_option("--broker", url, "the broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]")->required();
    app.add_option("--base", o.bridge.base, "the first level of every topic (default tr640)");
    CLI::Option* ha = app.add_option("--homeassistant", haPrefix, "publish Home Assistant discovery under PREFIX")
                          ->expected(0, 1)
                          ->default_str("homeassistant");
    app.add_option("--serial", o.bridge.serials, "only the unit with this serial (may be given again)");
    app.add_option("--virtual", o.virtualUnits, "N virtual units VIRTUAL-1 .. VIRTUAL-N instead of the host's")
        ->check(CLI::Range(1, 64));
    app.add_option("--credentials", credentials, "a file of username=... and password=... lines")
        ->check(CLI::ExistingFile);
    app.add_option("--cafile", o.mqtt.caFile, "the CA certificate that signed the broker's (mqtts://)")
        ->check(CLI::ExistingFile);
    app.set_version_flag("--version", o.bridge.version);
    std::reverse(args.begin(), args.end());
    args.pop_back();  // the program's name
    try {
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        std::ostringstream out, err;
        const int code = app.exit(e, out, err);
        std::string text = out.str() + err.str();
        if (!text.empty() && text.back() != '\n') text += '\n';
        return {std::nullopt, code == 0 ? 0 : kExitUsage, text};
    }
    const BrokerAddressResult broker = ParseBrokerUrl(url);
    if (!broker.address) return {std::nullopt, kExitUsage, "tr640-bridge: " + broker.error + "\n"};
    if (o.bridge.base.empty() || o.bridge.base.find_first_of("+#") != std::string::npos)
        return {std::nullopt, kExitUsage, "tr640-bridge: the base topic must not be empty or hold + or #\n"};
    o.mqtt.broker = *broker.address;
    if (!credentials.empty()) {
        const CredentialsResult read = ReadCredentialsFile(credentials);
        if (!read.credentials) return {std::nullopt, kExitUsage, "tr640-bridge: " + read.error + "\n"};
        o.mqtt.credentials = read.credentials;
    } else {
        o.mqtt.credentials = CredentialsFromEnvironment();
    }
    if (ha->count() > 0) o.bridge.homeAssistantPrefix = haPrefix;
    o.mqtt.clientId = ClientId(o.bridge.base);
    o.mqtt.willTopic = BridgeTopics(o.bridge.base).BridgeState();
    o.mqtt.willPayload = "offline";
    return {std::move(o), 0, {}};
}

int RunBridge(const BridgeCommandLine& options, std::function<bool()> stopRequested) {
    Platform platform(options.virtualUnits);
    MqttClient mqtt(options.mqtt);
    // Virtual units are this process's own: their locks stay with it, so
    // that bridges over virtual units side by side do not hold each other's.
    BridgeOptions bridgeOptions = options.bridge;
    QTemporaryDir virtualLocks;
    if (options.virtualUnits > 0) bridgeOptions.lockDirectory = virtualLocks.path().toStdString();
    Bridge bridge(platform.Get(), mqtt, bridgeOptions);
    if (!mqtt.Start()) {
        std::cerr << "tr640-bridge: " << mqtt.LastError() << "\n";
        return 1;
    }
    QObject::connect(&mqtt, &MqttClient::Disconnected, [&mqtt] {
        std::cerr << "tr640-bridge: lost the broker (" << mqtt.LastError() << "), trying again\n";
    });
    bridge.Start();
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, [&] {
        if (!stopRequested()) return;
        bridge.Stop();
        QCoreApplication::quit();
    });
    stopPoll.start(kStopPollMs);
    return QCoreApplication::exec();
}

}  // namespace tr640
