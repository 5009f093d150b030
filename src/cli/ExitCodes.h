// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tr640 {

// tr640ctl's exit codes: scripts tell the outcomes apart by them, so they
// never change meaning. Listed in --help and in the man page.
enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,         // unknown command or name, a bad or out-of-range value, two units and no --serial
    kExitNoUnit = 3,        // no TR640 present, or the one in use went away
    kExitNoAccess = 4,      // a TR640 is present but cannot be opened (udev rule missing)
    kExitTimeout = 5,       // the unit did not answer in time
    kExitRefused = 6,       // the unit answered a frame with its error status
    kExitDiffers = 7,       // a read-back differs from what was written (diff: the files differ)
    kExitFile = 8,          // a preset, EQ or --log file cannot be read, is refused, or cannot be written
    kExitHeld = 9,          // another program (the windows, the bridge) holds the unit
    kExitBroker = 10,       // --broker: the broker cannot be reached, refused the client, or went away
    kExitOffline = 11,      // --broker: no bridge is online there, or it reports the unit offline
    kExitInterrupted = 130, // Ctrl-C (SIGINT) or SIGTERM
};

}  // namespace tr640
