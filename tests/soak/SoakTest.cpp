// SPDX-License-Identifier: GPL-3.0-or-later
// The soak: the whole program (main window, link window, status window,
// compressor window) against virtual TR640s on the virtual HID bus, with
// its real timers and event-loop readers, for a bounded time. A seeded person
// works the windows while the bus and the units misbehave; after every
// cycle the faults stop, the person waits until the link is quiet again
// (pressing the link button when the program says it has lost the unit),
// and the program is checked: it still runs and answers, it left no thread
// or timer behind, its memory stays within a bound, and the unit holds
// every value that the windows show for the changes made while linked.
//
//   tr640_soak [--seconds N] [--seed S] [--max-growth-mb M]
//
// With real timers no two runs interleave alike; the seed fixes the script
// and the faults, and every check holds whatever the interleaving.

#include "model/ControlMap.h"
#include "soak/SoakFaults.h"
#include "soak/SoakRig.h"
#include "soak/SoakUser.h"
#include "support/QuietOffscreen.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace tr640::soak {
namespace {

struct Options {
    int seconds = 60;
    unsigned seed = 640;
    long maxGrowthMb = 64;
};
Options options;

// --- What the process holds ---------------------------------------------------------

int ThreadCount() { return static_cast<int>(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

long ResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Every QTimer of the program's windows, and the names of those running.
struct TimerCensus {
    int total = 0;
    std::set<std::string> running;
};
TimerCensus TakeTimerCensus() {
    TimerCensus census;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        for (QTimer* timer : window->findChildren<QTimer*>()) {
            ++census.total;
            if (timer->isActive())
                census.running.insert(window->objectName().toStdString() + "/" + timer->objectName().toStdString());
        }
    }
    return census;
}

// What the first quiet period found; later ones are held to it.
struct Baseline {
    int threadsBesideReaders = 0;
    TimerCensus timers;
    long residentKb = 0;
};

// --- The quiet period -------------------------------------------------------------------

// Stops the faults and waits until the link is quiet, as a person would:
// the unit plugged back in if none is, and the link button pressed when the
// program has given up (lost, failed) or waits too long for a mode command.
int WaitUntilQuiet(SoakRig& rig) {
    rig.ClearFaults();
    if (rig.Tr640Paths().empty()) rig.PlugA();
    const TForm9& linkWindow = rig.program().linkWindow();
    QElapsedTimer clock;
    clock.start();
    qint64 lastPress = 0;
    int presses = 0;
    for (int stable = 0; stable < 6;) {
        if (clock.elapsed() > 90000) {
            ADD_FAILURE() << "the link did not come back within 90 s (state "
                          << static_cast<int>(rig.session().State()) << ")";
            return presses;
        }
        QTest::qWait(50);
        stable = rig.LinkQuiet() ? stable + 1 : 0;
        if (stable == 0 && !linkWindow.Timer2->isActive() && clock.elapsed() - lastPress > 6000) {
            lastPress = clock.elapsed();
            if (!rig.session().Linked() || rig.session().ModeWaiting()) {
                QTest::mouseClick(rig.mainWindow().LinkBtn, Qt::LeftButton);
                ++presses;
            }
        }
    }
    return presses;
}

// A change made now reaches the unit: the volume slider, one step.
void ExpectAChangeGetsThrough(SoakRig& rig) {
    QSlider* volume = rig.mainWindow().SysTotalVolBar;
    int address = -1;
    for (const ControlPlacement& p : ControlPlacements())
        if (p.companionControl == "SysTotalVolBar") address = p.address;
    ASSERT_GE(address, 0);
    QTest::keyClick(volume, volume->value() == volume->maximum() ? Qt::Key_Down : Qt::Key_Up);
    const std::int32_t shown = rig.program().store().Shown(address);
    VirtualTr640* unit = rig.Selected();
    ASSERT_NE(unit, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return unit->Value(static_cast<std::uint16_t>(address)) == shown; }, 5000))
        << "the volume change did not reach the unit";
}

void CheckQuietProgram(SoakRig& rig, Baseline& baseline, bool first) {
    // Alive: the event loop runs what is posted to it.
    bool answered = false;
    QTimer::singleShot(0, [&] { answered = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 5000)) << "the event loop did not answer";
    EXPECT_EQ(rig.dialogs().OpenBoxes(), 0);

    // No reader left behind: one per TR640 plugged in, nothing else grows.
    const int readers = rig.session().controller()->ReadersRunning();
    EXPECT_EQ(readers, static_cast<int>(rig.Tr640Paths().size()));
    EXPECT_EQ(rig.session().controller()->ReaderThreadsRunning(), 0) << "the units are read on the event loop";
    const int besideReaders = ThreadCount() - rig.session().controller()->ReaderThreadsRunning();
    const TimerCensus timers = TakeTimerCensus();
    const long resident = ResidentKb();
    if (first) {
        baseline = {besideReaders, timers, resident};
    } else {
        EXPECT_EQ(besideReaders, baseline.threadsBesideReaders) << "threads beside the readers";
        EXPECT_EQ(timers.total, baseline.timers.total) << "timers were made and not deleted";
        EXPECT_EQ(timers.running, baseline.timers.running) << "timers left running (or stopped) in the quiet link";
        EXPECT_LE(resident - baseline.residentKb, options.maxGrowthMb * 1024)
            << "resident memory grew from " << baseline.residentKb << " kB to " << resident << " kB";
    }

    // The unit holds what the windows show for every change made while
    // linked, but for changes it refused, which the program must have said.
    const long refusedBefore = rig.counts().refusedValues;
    const std::vector<std::string> mismatches = rig.LedgerMismatches();
    for (const std::string& line : mismatches) ADD_FAILURE() << "unit and windows differ at " << line;
    for (const std::string& line : rig.UnexplainedSaveSuccesses()) ADD_FAILURE() << line;
    if (rig.counts().refusedValues > refusedBefore) {
        EXPECT_GT(rig.dialogs().Shown(QStringLiteral("错误应答!")), 0) << "a refused change went unreported";
    }
    for (const std::string& line : rig.ControlsOffTheShownImage()) ADD_FAILURE() << line;

    ExpectAChangeGetsThrough(rig);
}

void Report(const SoakRig& rig, const SoakUser& user, const SoakFaults& faults, int cycles, int presses,
            qint64 elapsedMs, long growthKb) {
    const SoakCounts& c = rig.counts();
    std::printf("soak: %lld s, seed %u, %d cycles\n", static_cast<long long>(elapsedMs / 1000), options.seed, cycles);
    long actions = 0;
    for (const auto& [name, n] : user.Taken()) actions += n;
    std::printf("  user actions %ld:", actions);
    for (const auto& [name, n] : user.Taken()) std::printf(" %s %d,", name.c_str(), n);
    std::printf("\n  changes %ld (meant to go out %ld), values checked against the unit %ld, refused by it %ld\n",
                c.changes, c.changesSent, c.checkedValues, c.refusedValues);
    std::printf("  faults %ld:", faults.Total());
    for (const auto& [name, n] : faults.Injected()) std::printf(" %s %d,", name.c_str(), n);
    std::printf("\n  connection reads %ld (reconnects %ld), mode reloads %ld, preset writes %ld, link presses %d\n",
                c.connectReads, c.connectReads - 1, c.modeReloads, c.writeAlls, presses);
    std::printf("  messages:");
    for (const auto& [text, n] : rig.dialogs().AllShown()) std::printf(" \"%s\" %d,", qPrintable(text), n);
    std::printf(" questions %d\n", rig.dialogs().Questions());
    std::printf("  resident memory growth %ld kB\n", growthKb);
    std::fflush(stdout);
}

TEST(Soak, TheProgramHoldsUpUnderFaults) {
    testing::QuietOffscreen quiet;
    SoakRig rig(options.seed);
    SoakUser user(rig, options.seed + 1);
    SoakFaults faults(rig, options.seed + 2);
    std::mt19937 pace(options.seed + 3);

    rig.program().Start();
    rig.PlugA();
    int presses = WaitUntilQuiet(rig);
    Baseline baseline;
    CheckQuietProgram(rig, baseline, true);

    QElapsedTimer clock;
    clock.start();
    int cycles = 0;
    const auto playFor = [&](int lowMs, int highMs, bool rough) {
        const qint64 end = clock.elapsed() + std::uniform_int_distribution<int>(lowMs, highMs)(pace);
        while (clock.elapsed() < end) {
            user.Act(rough);
            if (rough) faults.MaybeStrike();
            QTest::qWait(std::uniform_int_distribution<int>(0, 120)(pace));
        }
    };
    while (clock.elapsed() < options.seconds * 1000LL && !HasFailure()) {
        ++cycles;
        SCOPED_TRACE("cycle " + std::to_string(cycles));
        // Rough: reply faults, and the unit pulled out, a second unit, a
        // keyboard, read errors, hangs, the link button.
        faults.BeginCycle();
        playFor(2000, 6000, true);
        presses += WaitUntilQuiet(rig);
        CheckQuietProgram(rig, baseline, false);
        // Steady: the same reply faults on a connected unit; every change
        // made now while linked must end up in the unit.
        faults.Rearm();
        playFor(2000, 5000, false);
        presses += WaitUntilQuiet(rig);
        CheckQuietProgram(rig, baseline, false);
    }
    Report(rig, user, faults, cycles, presses, clock.elapsed(), ResidentKb() - baseline.residentKb);
    // Whatever check failed, what led up to it explains it.
    if (HasFailure()) std::printf("latest events:\n%s", rig.RecentEvents().c_str());
    EXPECT_GT(rig.counts().changesSent, 0);
    EXPECT_GT(faults.Total(), 0);
}

}  // namespace
}  // namespace tr640::soak

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--seconds") {
            tr640::soak::options.seconds = std::atoi(argv[i + 1]);
        } else if (flag == "--seed") {
            tr640::soak::options.seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
        } else if (flag == "--max-growth-mb") {
            tr640::soak::options.maxGrowthMb = std::atol(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--seed S] [--max-growth-mb M]\n", argv[0]);
            return 2;
        }
    }
    return RUN_ALL_TESTS();
}
