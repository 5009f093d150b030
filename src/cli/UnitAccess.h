// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/ExitCodes.h"
#include "link/hid/HidPlatform.h"
#include "model/ParamStore.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tr640 {

// Which unit to use when several are present.
struct DeviceChoice {
    std::string path;    // --device
    std::string serial;  // --serial
};

// Why a command ended early: the exit code and one line of English.
struct Failure {
    int code = kExitOk;
    std::string message;
};

// A TR640 that can be used, for `list` and for picking one.
struct UnitListing {
    HidDeviceInfo info;
    std::string accessError;  // empty when the unit can be opened for reading and writing
    std::string offline;      // through a bridge: why it has not linked the unit; empty while linked
};

// Address and raw value of each change, in the order sent.
using UnitChanges = std::vector<std::pair<int, std::int32_t>>;

// A unit for tr640ctl's commands to talk to, for as long as one command (or
// one script of them) runs. Every step waits until the unit has done its
// part; a step that fails leaves its exit code and English in Failed(), and
// the first failure is the one kept.
//
// DeviceSession implements it over the unit's own HID link, BrokerUnit
// through a running tr640-bridge; the commands see no difference.
class UnitAccess {
public:
    virtual ~UnitAccess() = default;

    // The units this way of talking can reach; `list` prints them.
    virtual std::vector<UnitListing> List() = 0;
    // Picks the unit and connects; the device image holds both pages after it.
    virtual bool Connect(const DeviceChoice& choice) = 0;

    // The values the unit last sent (the device image); kMissing where a
    // read-back did not bring a value.
    virtual const ParamStore& Values() const = 0;
    // Sends each change and waits until the unit has acknowledged all of them.
    virtual bool SendChanges(const UnitChanges& changes) = 0;
    // Reads page 1 again (and page 0 with it when asked) into the image.
    virtual bool ReadBack(bool withSystemPage) = 0;
    // Writes page 1 of `file`'s device image, then its system settings as
    // ordinary changes (as the windows' preset load does), then reads both
    // pages back.
    virtual bool PushPreset(const ParamStore& file) = 0;
    // A mode command; a recall ends once page 1 has been read again.
    virtual bool RecallMode(int mode) = 0;
    virtual bool SaveMode(int mode) = 0;

    virtual const Failure& Failed() const = 0;

    // A value the unit never sent back reads as this after a read-back.
    static constexpr std::int32_t kMissing = -0x7FFFFFFF;
};

}  // namespace tr640
