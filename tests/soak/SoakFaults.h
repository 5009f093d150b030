// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <string>

namespace tr640::soak {

class SoakRig;

// The bus and the device misbehaving, played from a seed. Each cycle of the
// soak gets its own mix of reply faults on the unit in use (dropped,
// delayed, duplicated and corrupted replies, refused frames); between the
// user's actions come the events: a burst of read errors, the unit pulled
// out and put back (also in the middle of the connection's read), a second
// TR640 or a keyboard coming or going, the unit hanging until the program
// notices.
class SoakFaults {
public:
    SoakFaults(SoakRig& rig, unsigned seed);

    // A fresh mix of reply faults for the next cycle (sometimes none).
    void BeginCycle();
    // Sets the cycle's reply faults again after a quiet period cleared them.
    void Rearm();
    // Now and then, one event; most calls do nothing.
    void MaybeStrike();

    // How often each fault was set up or played.
    const std::map<std::string, int>& Injected() const { return injected_; }
    long Total() const;

private:
    int Uniform(int low, int high);
    bool Chance(double p);
    void Count(const std::string& name);

    void ReadErrorBurst();
    void Replug();
    void ReplugDuringTheRead();
    void ReplugDuringAModeWait();
    // Plugs in what is out, pulls out what is in.
    void Toggle(const std::string& what, bool plugged, void (SoakRig::*plug)(), void (SoakRig::*unplug)());
    void Hang();

    SoakRig& rig_;
    std::mt19937 random_;
    std::map<std::string, int> injected_;
    struct ReplyFaults {
        std::size_t drop = 0, delay = 0, corrupt = 0, corruptIndex = 0, refuse = 0;
        std::uint8_t corruptMask = 0;
        bool duplicate = false;
    };
    std::array<ReplyFaults, 2> cycle_{};  // unit A, unit B
};

}  // namespace tr640::soak
