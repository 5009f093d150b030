// SPDX-License-Identifier: GPL-3.0-or-later
// CPU cost of a linked, idle TR640: the whole link against the virtual
// device through the real reader thread and real timers, keep-alive
// running. Prints the process CPU time over the run as a share of one core.
//
//   tr640_bench_idle [--seconds N]     (default 60)

#include "link/UnitSession.h"
#include "model/ParamStore.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

namespace {

using namespace tr640;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The link window's traffic log, reduced to what costs something: it keeps
// its newest lines as the hidden window does, frames as their bytes.
class BenchLines final : public SessionLines {
public:
    void AddLogLine(const std::string& line) override {
        traffic.push_back(line);
        if (traffic.size() > 5000) traffic.pop_front();
        ++lines;
    }
    void LogFrame(const TrafficFrame& frame) override {
        frames.emplace_back(frame.report.begin(), frame.report.end());
        if (frames.size() > 5000) frames.pop_front();
        ++lines;
    }
    bool AmendLastLogLine(const std::string& was, const std::string& now) override {
        if (traffic.empty() || traffic.back() != was) return false;
        traffic.back() = now;
        return true;
    }
    std::deque<std::string> traffic;
    std::deque<std::vector<std::uint8_t>> frames;
    long lines = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int seconds = 60;
    for (int i = 1; i < argc; ++i) {
        if ((std::strcmp(argv[i], "--seconds") == 0 || std::strcmp(argv[i], "-s") == 0) && i + 1 < argc) {
            seconds = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N]\n", argv[0]);
            return 2;
        }
    }

    VirtualTr640 device;
    VirtualHidBus bus;
    ParamStore store;
    BenchLines lines;
    UnitSession session(store, bus, &lines);
    QObject::connect(&session, &UnitSession::deviceImageRead, [&store] { store.CopyDeviceToShown(); });
    QObject::connect(&session, &UnitSession::outcome, [](LinkOutcome o) {
        if (o != LinkOutcome::Connected) std::fprintf(stderr, "outcome %d\n", static_cast<int>(o));
    });

    bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(device));

    // Connect first; only the idle link is measured.
    QElapsedTimer clock;
    clock.start();
    while (!session.Linked() && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!session.Linked()) {
        std::fprintf(stderr, "the link did not connect\n");
        return 1;
    }
    std::printf("connected in %lld ms\n", static_cast<long long>(clock.elapsed()));

    const std::size_t framesBefore = device.Stats().framesReceived;
    const long linesBefore = lines.lines;
    const double cpuBefore = ProcessCpuSeconds();
    clock.restart();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double wall = static_cast<double>(clock.elapsed()) / 1000.0;
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double percent = 100.0 * cpu / wall;

    const bool stillIdle = session.Linked() && session.holdTimer.isActive();
    std::printf("idle link over %.1f s: %.1f ms CPU = %.3f %% of one core (target < 1 %%)\n", wall, cpu * 1000.0,
                percent);
    std::printf("keep-alive: %zu frames to the device, %ld log lines, link %s\n",
                device.Stats().framesReceived - framesBefore, lines.lines - linesBefore,
                stillIdle ? "idle throughout" : "NOT idle at the end");
    session.NoDevicePresent();
    return stillIdle ? 0 : 1;
}
