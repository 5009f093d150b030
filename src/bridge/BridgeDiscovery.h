// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Home Assistant's MQTT discovery: one device per unit, one entity per
// catalogue parameter it can show and change, and a button per user mode.

#include "mqtt/BridgeTopics.h"

#include <string>
#include <string_view>
#include <vector>

namespace tr640 {

struct DiscoveryDevice {
    std::string serial;
    std::string product;          // the unit's product string, or empty
    std::string softwareVersion;  // the bridge's version
};

struct DiscoveryMessage {
    std::string topic;    // <prefix>/<component>/<node>/<object>/config
    std::string payload;  // JSON, published retained
};

// Every config of one unit. Availability lists the bridge state and the
// unit's availability with mode "all": an entity is usable only while the
// bridge runs and the unit is linked. The EQ bands' details start disabled so
// that a new device shows a short list.
std::vector<DiscoveryMessage> DiscoveryConfigs(const BridgeTopics& topics, std::string_view prefix,
                                               const DiscoveryDevice& device);

}  // namespace tr640
