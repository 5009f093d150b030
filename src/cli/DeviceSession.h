// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/UnitAccess.h"
#include "link/UnitLock.h"
#include "link/UnitSession.h"
#include "link/hid/HidPlatform.h"
#include "model/ParamStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tr640 {

class FrameLog;

// The TR640s present on a platform, for `list` and for picking one.
std::vector<UnitListing> ListUnits(HidPlatform& platform);

// For tests that own the session's ticks instead of its timers: called
// before each tick, it returns once the replies the unit has sent reached
// the session. The time-outs then run on the session's hand clock.
using HandTicks = std::function<void(const UnitSession&)>;

// One connection to one unit over its own HID link: the unit's session, with
// outcomes turned into exit codes and lines of English. Every wait runs the
// event loop until the session has done its part, the unit refused or went
// silent, the time-out ran out, or the user interrupted.
class DeviceSession : public UnitAccess {
public:
    DeviceSession(HidPlatform& platform, int timeoutMs, std::function<bool()> interrupted,
                  HandTicks handTicks = {});
    ~DeviceSession() override;
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    std::vector<UnitListing> List() override;
    // The key, then the read of pages 0 and 1.
    bool Connect(const DeviceChoice& choice) override;
    const ParamStore& Values() const override { return store_; }
    // Through the link's change queue.
    bool SendChanges(const UnitChanges& changes) override;
    bool ReadBack(bool withSystemPage) override;
    bool PushPreset(const ParamStore& file) override;
    bool RecallMode(int mode) override;
    bool SaveMode(int mode) override;
    const Failure& Failed() const override { return failure_; }

    // Takes the unit's lock in `directory` before it is opened, so that no
    // other program drives it meanwhile; without this call no lock is taken.
    void LockUnitsIn(std::string directory) { lockDirectory_ = std::move(directory); }

    // Every report written to the unit and read from it goes to `log` as it
    // happens (the log may take the reads on a reader thread). Called before
    // Connect; null: none.
    void LogFramesTo(FrameLog* log) { frameLog_ = log; }

    // Called once, when the first frame is written to the unit.
    void OnFirstFrameWritten(std::function<void()> hook) { firstFrameWritten_ = std::move(hook); }
    const HidDeviceInfo& Unit() const { return unit_; }

private:
    class StampingPlatform;
    class StampedConnection;

    bool Fail(int code, std::string message);
    void OnOutcome(LinkOutcome outcome);
    void OnStatus(LinkStatus status);
    bool WaitFor(const std::function<bool()>& done, const char* what);
    void RunEventsOrTick(const std::function<bool()>& done);
    bool WaitForTransfer(int before, const char* what);
    bool PickUnit(const DeviceChoice& choice);
    bool LockUnit();
    bool WritePage1(const ParamStore& source);

    HidPlatform& platform_;
    int timeoutMs_;
    std::function<bool()> interrupted_;
    std::function<void()> firstFrameWritten_;
    HandTicks handTicks_;
    HidDeviceInfo unit_;
    Failure failure_;
    FrameLog* frameLog_ = nullptr;
    int refreshes_ = 0;
    bool saveDone_ = false;
    bool present_ = false;
    std::string lockDirectory_;
    std::unique_ptr<UnitLock> lock_;  // held until the session ends

    ParamStore store_;
    std::unique_ptr<StampingPlatform> stamping_;
    std::unique_ptr<UnitSession> session_;
};

}  // namespace tr640
