// SPDX-License-Identifier: GPL-3.0-or-later
// CPU cost of a linked, idle TR640: the whole link against the virtual
// device through the real reader thread and real timers, keep-alive
// running. Prints the process CPU time over the run as a share of one core.
//
//   tr640_bench_idle [--seconds N]     (default 60)

#include "link/FrameSender.h"
#include "link/Link.h"
#include "link/hid/HidDeviceController.h"
#include "link/hid/HidLinkHandlers.h"
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
#include <functional>
#include <string>

namespace {

using namespace tr640;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

class QtTimer final : public LinkTimer {
public:
    QtTimer(int intervalMs, std::function<void()> tick) {
        timer_.setInterval(intervalMs);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [tick = std::move(tick)] { tick(); });
    }
    void Start() override {
        if (!timer_.isActive()) timer_.start();
    }
    void Stop() override { timer_.stop(); }
    bool IsActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

// The windows, reduced to what costs something: the traffic log keeps its
// newest lines as the link window's list does.
class BenchView final : public LinkView {
public:
    std::deque<std::string> traffic;
    void SetLinkLabelText(const Bilingual& text) override { caption = text.chinese; }
    std::string LinkLabelCaption() const override { return caption; }
    void SetLinkLabelColour(LinkColour) override {}
    void ShowStatusWindow(const std::string&, int) override {}
    void HideStatusWindow(int) override {}
    void ShowMessage(const std::string& c, const std::string& t) override {
        std::fprintf(stderr, "message: %s %s\n", c.c_str(), t.c_str());
    }
    void ShowPlainMessage(const std::string& t) override { std::fprintf(stderr, "message: %s\n", t.c_str()); }
    void LogTraffic(const std::string& line) override { Add(line); }
    void RefreshAll() override { store->CopyDeviceToShown(); }
    void SelectFirstBandField() override {}

    void Add(const std::string& line) {
        traffic.push_back(line);
        if (traffic.size() > 5000) traffic.pop_front();
        ++lines;
    }

    std::string caption;
    ParamStore* store = nullptr;
    long lines = 0;
};

class BenchPort final : public HidLinkPort {
public:
    BenchPort(Link*& link, BenchView& view) : link_(link), view_(view) {}
    void ClearDeviceLines() override {}
    void AddDeviceLine(const std::string&) override {}
    void SetCurrentDeviceLine(int) override {}
    void AddLogLine(const std::string& line) override { view_.Add(line); }
    void SetReportId(const std::string&) override {}
    void DevicePresent() override { link_->DevicePresent(); }
    void NoDevicePresent() override { link_->NoDevicePresent(); }
    void ParseReply(std::span<const std::uint8_t> reply) override { link_->OnReply(reply); }

private:
    Link*& link_;
    BenchView& view_;
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
    TJvHidDeviceController ctl(bus);
    ParamStore store;
    BenchView view;
    view.store = &store;
    Link* link = nullptr;
    BenchPort port(link, view);
    HidLinkHandlers handlers(ctl, &port);
    handlers.BindEvents();

    QtTimer connect(1000, [&] { link->Timer1Timer(); });
    QtTimer transfer(50, [&] { link->Timer2Timer(); });
    QtTimer hold(40, [&] { link->HoldTimerTimer(); });
    FrameSender sender(handlers);
    const int language = kLanguageChinese;
    Link theLink(store, sender, view, {connect, transfer, hold}, language);
    link = &theLink;

    bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(device));

    // Connect first; only the idle link is measured.
    QElapsedTimer clock;
    clock.start();
    while (theLink.Vars().linkState != kLinkedIdle && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (theLink.Vars().linkState != kLinkedIdle) {
        std::fprintf(stderr, "the link did not connect\n");
        return 1;
    }
    std::printf("connected in %lld ms\n", static_cast<long long>(clock.elapsed()));

    const std::size_t framesBefore = device.Stats().framesReceived;
    const long linesBefore = view.lines;
    const double cpuBefore = ProcessCpuSeconds();
    clock.restart();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double wall = static_cast<double>(clock.elapsed()) / 1000.0;
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double percent = 100.0 * cpu / wall;

    const bool stillIdle = theLink.Vars().linkState == kLinkedIdle && hold.IsActive();
    std::printf("idle link over %.1f s: %.1f ms CPU = %.3f %% of one core (target < 1 %%)\n", wall, cpu * 1000.0,
                percent);
    std::printf("keep-alive: %zu frames to the device, %ld log lines, link %s\n",
                device.Stats().framesReceived - framesBefore, view.lines - linesBefore,
                stillIdle ? "idle throughout" : "NOT idle at the end");
    theLink.NoDevicePresent();
    return stillIdle ? 0 : 1;
}
