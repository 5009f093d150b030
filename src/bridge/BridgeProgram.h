// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// tr640-bridge's command line and run, apart from main() so that tests can
// read options without starting a program.

#include "bridge/Bridge.h"
#include "mqtt/MqttClient.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tr640 {

struct BridgeCommandLine {
    MqttSettings mqtt;
    BridgeOptions bridge;
    int virtualUnits = 0;
};

// The options, or the exit code and text to print (help, a usage error).
struct BridgeCommandLineResult {
    std::optional<BridgeCommandLine> options;
    int exitCode = 0;
    std::string message;
};
BridgeCommandLineResult ParseBridgeCommandLine(std::vector<std::string> args);

// Runs until `stopRequested` says so; the exit code.
int RunBridge(const BridgeCommandLine& options, std::function<bool()> stopRequested);

}  // namespace tr640
