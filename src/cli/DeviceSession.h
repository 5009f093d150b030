// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/ExitCodes.h"
#include "link/UnitSession.h"
#include "link/hid/HidPlatform.h"
#include "model/ParamStore.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
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

// The TR640s present on a platform, for `list` and for picking one.
struct UnitListing {
    HidDeviceInfo info;
    std::string accessError;  // empty when the unit can be opened for reading and writing
};
std::vector<UnitListing> ListUnits(HidPlatform& platform);

// For tests that own the session's ticks instead of its timers: called
// before each tick, it returns once the replies the unit has sent reached
// the session. The time-outs then run on the session's hand clock.
using HandTicks = std::function<void(const UnitSession&)>;

// One connection to one unit for one command: the unit's session, with
// outcomes turned into exit codes and lines of English. Every wait runs the
// event loop until the session has done its part, the unit refused or went
// silent, the time-out ran out, or the user interrupted.
class DeviceSession {
public:
    DeviceSession(HidPlatform& platform, int timeoutMs, std::function<bool()> interrupted,
                  HandTicks handTicks = {});
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Picks the unit and connects (the key, then the read of pages 0 and 1).
    bool Connect(const DeviceChoice& choice);

    // Sends each change through the link's change queue and waits until the
    // unit has acknowledged all of them.
    bool SendChanges(const std::vector<std::pair<int, std::int32_t>>& changes);
    // Reads page 1 again (and page 0 with it when asked) into the device
    // image; what the unit does not send back stays marked as missing.
    bool ReadBack(bool withSystemPage);
    // Writes page 1 of `source`'s device image as the preset load does.
    bool WritePage1(const ParamStore& source);
    // A mode command; a recall ends once page 1 has been read again.
    bool RecallMode(int mode);
    bool SaveMode(int mode);

    // Called once, when the first frame is written to the unit.
    void OnFirstFrameWritten(std::function<void()> hook) { firstFrameWritten_ = std::move(hook); }

    ParamStore& Store() { return store_; }
    const HidDeviceInfo& Unit() const { return unit_; }
    const Failure& Failed() const { return failure_; }
    // The last lines of traffic, for --verbose.
    const std::deque<std::string>& Traffic() const { return traffic_; }

    // A value the unit never sent back reads as this after a read-back.
    static constexpr std::int32_t kMissing = -0x7FFFFFFF;

private:
    class Lines;
    class StampingPlatform;
    class StampedConnection;

    bool Fail(int code, std::string message);
    void AddTraffic(const std::string& line);
    void OnOutcome(LinkOutcome outcome);
    void OnStatus(LinkStatus status);
    bool WaitFor(const std::function<bool()>& done, const char* what);
    void RunEventsOrTick(const std::function<bool()>& done);
    bool WaitForTransfer(int before, const char* what);
    bool PickUnit(const DeviceChoice& choice);

    HidPlatform& platform_;
    int timeoutMs_;
    std::function<bool()> interrupted_;
    std::function<void()> firstFrameWritten_;
    HandTicks handTicks_;
    HidDeviceInfo unit_;
    Failure failure_;
    std::deque<std::string> traffic_;
    int refreshes_ = 0;
    bool saveDone_ = false;
    bool present_ = false;

    ParamStore store_;
    std::unique_ptr<Lines> lines_;
    std::unique_ptr<StampingPlatform> stamping_;
    std::unique_ptr<UnitSession> session_;
};

}  // namespace tr640
