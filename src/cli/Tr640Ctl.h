// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/DeviceSession.h"
#include "link/hid/HidPlatform.h"

#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace tr640 {

// What tr640ctl runs against: its output streams, the HID platform (the
// machine's, or a bus a test sets up), and whether the user has asked it to
// stop.
struct CtlEnvironment {
    std::ostream& out;
    std::ostream& err;
    // Used for every command that needs a unit, whatever --virtual says;
    // null: hidapi, or a virtual TR640 of its own with --virtual.
    HidPlatform* platform = nullptr;
    std::function<bool()> interrupted;
    // Called once, when the first frame goes out to the unit; may be empty.
    // The start-up benchmark measures the time to it.
    std::function<void()> firstFrameWritten;
    // Set by tests that own the session's ticks; empty: the real timers.
    HandTicks handTicks;
    // Where the units' locks are taken: set by tests for their bus; empty:
    // the host's lock directory for the machine's units, and none for a
    // virtual unit of tr640ctl's own, which no other program can reach.
    std::string lockDirectory;
    // What `-f -` reads; null: no script can come from standard input.
    std::istream* in = nullptr;
};

// Runs one tr640ctl command line (args[0] is the program name) on the
// calling thread, which must run a QCoreApplication. Returns the exit code.
int RunTr640Ctl(const std::vector<std::string>& args, CtlEnvironment& env);

}  // namespace tr640
