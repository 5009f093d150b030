// SPDX-License-Identifier: GPL-3.0-or-later
#include "soak/SoakFaults.h"

#include "soak/SoakRig.h"

#include <QTest>

#include <cerrno>

namespace tr640::soak {

SoakFaults::SoakFaults(SoakRig& rig, unsigned seed) : rig_(rig), random_(seed) {}

int SoakFaults::Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
bool SoakFaults::Chance(double p) { return std::bernoulli_distribution(p)(random_); }

void SoakFaults::Count(const std::string& name) {
    ++injected_[name];
    rig_.Note("fault: " + name);
}

long SoakFaults::Total() const {
    long total = 0;
    for (const auto& [name, n] : injected_) total += n;
    return total;
}

void SoakFaults::BeginCycle() {
    cycle_ = {};
    if (!Chance(0.15)) {  // a clean cycle now and then
        for (ReplyFaults& f : cycle_) {
            if (Chance(0.5)) {
                f.drop = static_cast<std::size_t>(Uniform(3, 9));
                Count("dropped replies");
            }
            if (Chance(0.4)) {
                // Up to 200 ms: longer than the link waits for a change's
                // answer, shorter than a transfer's time-out.
                f.delay = static_cast<std::size_t>(Uniform(1, 20));
                Count("delayed replies");
            }
            if (Chance(0.3)) {
                f.duplicate = true;
                Count("duplicated replies");
            }
            if (Chance(0.4)) {
                f.corrupt = static_cast<std::size_t>(Uniform(4, 12));
                f.corruptIndex = static_cast<std::size_t>(Uniform(1, 40));
                f.corruptMask = static_cast<std::uint8_t>(Uniform(1, 255));
                Count("corrupted replies");
            }
            if (Chance(0.4)) {
                f.refuse = static_cast<std::size_t>(Uniform(8, 25));
                Count("error statuses");
            }
        }
    }
    Rearm();
}

void SoakFaults::Rearm() {
    rig_.ClearFaults();
    VirtualTr640* units[] = {&rig_.unitA(), &rig_.unitB()};
    for (std::size_t i = 0; i < cycle_.size(); ++i) {
        const ReplyFaults& f = cycle_[i];
        units[i]->SetDropEveryNth(f.drop);
        units[i]->SetReplyDelay(f.delay);
        units[i]->SetDuplicateReplies(f.duplicate);
        units[i]->SetCorruptEveryNth(f.corrupt, f.corruptIndex, f.corruptMask);
        units[i]->SetRefuseEveryNth(f.refuse);
    }
}

void SoakFaults::MaybeStrike() {
    if (rig_.session().ModeWaiting() && Chance(0.3)) {
        ReplugDuringAModeWait();
        return;
    }
    if (!Chance(0.06)) return;
    switch (Uniform(0, 9)) {
    case 0:
    case 1: ReadErrorBurst(); break;
    case 2:
    case 3: Replug(); break;
    case 4: ReplugDuringTheRead(); break;
    case 5:
    case 6: Toggle("second unit", rig_.BPlugged(), &SoakRig::PlugB, &SoakRig::UnplugB); break;
    case 7: Toggle("keyboard", rig_.KeyboardPlugged(), &SoakRig::PlugKeyboard, &SoakRig::UnplugKeyboard); break;
    default: Hang(); break;
    }
}

void SoakFaults::ReadErrorBurst() {
    const std::vector<std::string> paths = rig_.Tr640Paths();
    if (paths.empty()) return;
    Count("read error bursts");
    rig_.bus().SetReadError(paths.back(), EIO);
    QTest::qWait(Uniform(20, 300));
    rig_.bus().SetReadError(paths.back(), 0);
}

void SoakFaults::Replug() {
    if (!rig_.APlugged()) {
        rig_.PlugA();
        return;
    }
    Count("unplug and replug");
    rig_.UnplugA();
    QTest::qWait(Uniform(50, 1200));
    rig_.PlugA();
}

// The unit pulled out while the program waits for it to take a mode save
// or recall: the unit may never have taken it, so no success may follow.
void SoakFaults::ReplugDuringAModeWait() {
    VirtualTr640* unit = rig_.Selected();
    if (unit == nullptr) return;
    Count("unplug during a mode wait");
    rig_.UnplugA();
    rig_.UnplugB();
    QTest::qWait(Uniform(20, 600));
    rig_.PlugA();
}

void SoakFaults::ReplugDuringTheRead() {
    Count("unplug during the read");
    rig_.UnplugA();
    rig_.UnplugB();
    QTest::qWait(Uniform(20, 200));
    rig_.PlugA();
    // The key is offered at once and the read starts a second later; pull
    // the unit out somewhere in the read's two seconds.
    QTest::qWait(Uniform(1000, 2600));
    rig_.UnplugA();
    QTest::qWait(Uniform(20, 400));
    rig_.PlugA();
}

void SoakFaults::Toggle(const std::string& what, bool plugged, void (SoakRig::*plug)(), void (SoakRig::*unplug)()) {
    Count(what + (plugged ? " leaves" : " arrives"));
    (rig_.*(plugged ? unplug : plug))();
}

void SoakFaults::Hang() {
    VirtualTr640* unit = rig_.Selected();
    if (unit == nullptr) return;
    Count("unit hangs");
    // Deaf and mute for a while, and while the link is still idle, until
    // the program notices: frames the unit ignored are lost, and only the
    // program's "lost" message (and the read of the next connection) makes
    // the windows and the unit agree again. Changes queued meanwhile keep
    // the link from noticing until they have all gone out.
    unit->SetSilent(true);
    QTest::qWait(Uniform(300, 3000));
    (void)QTest::qWaitFor([this] { return !rig_.session().Linked(); }, 30000);
    unit->SetSilent(false);
}

}  // namespace tr640::soak
