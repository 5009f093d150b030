// SPDX-License-Identifier: GPL-3.0-or-later
// tr640-bridge: the TR640 units of this host on an MQTT broker. No widgets,
// no display: it runs as a service.

#include "bridge/BridgeProgram.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <iostream>

namespace {

std::atomic<bool> g_stop{false};

extern "C" void OnSignal(int) { g_stop.store(true); }

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // SIGTERM (systemd's stop) and Ctrl-C say offline before the end, rather
    // than leaving it to the broker's last will.
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    const tr640::BridgeCommandLineResult parsed = tr640::ParseBridgeCommandLine({argv, argv + argc});
    if (!parsed.options) {
        (parsed.exitCode == 0 ? std::cout : std::cerr) << parsed.message;
        return parsed.exitCode;
    }
    return tr640::RunBridge(*parsed.options, [] { return g_stop.load(); });
}
