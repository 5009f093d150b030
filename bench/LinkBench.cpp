// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the link window's real timers in an event loop against the virtual
// TR640 and measures (a) how long a connection takes against the floor the
// protocol sets, and (b) how many frames per second a burst of changes gets
// to the device. A plain measuring program; every loop is bounded in time.

#include "link/DialogSeam.h"
#include "link/Unit9.h"
#include "model/ParamAddress.h"
#include "ui/LinkLabelPort.h"
#include "ui/Unit4.h"
#include "virtualdevice/VirtualTransport.h"
#include "virtualdevice/VirtualTr640.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace tr640 {
namespace {

// Boxes would block an unattended run: count them instead.
class CountingDialogs : public Dialogs {
public:
    int shown = 0;
    void Message(const QString& caption, const QString& text) override { Note(caption + " " + text); }
    bool Confirm(const QString& caption, const QString& text) override {
        Note(caption + " " + text);
        return true;
    }
    void PlainMessage(const QString& text) override { Note(text); }
    QString SaveFileName(const QString&) override { return {}; }
    QString OpenFileName(const QString&) override { return {}; }

private:
    void Note(const QString& what) {
        ++shown;
        std::printf("  (box: %s)\n", qPrintable(what));
    }
};

QtMessageHandler previousHandler = nullptr;
void DropOffscreenNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    // The offscreen platform complains at every raise() of the status window.
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support"))) return;
    if (previousHandler) previousHandler(type, context, message);
}

// Processes events until `done` or the time limit; false on the limit.
bool RunUntil(const std::function<bool()>& done, qint64 limitMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;  // lets the loop see the limit even when nothing else happens
    wake.start(20);
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

struct Rig {
    ParamStore store;
    int language = kLanguageChinese;
    VirtualTr640 device;
    VirtualTransport transport{device};
    CountingDialogs dialogs;
    QWidget mainWindow;
    QLabel* linkLabel = new QLabel(QStringLiteral("离线模式"), &mainWindow);
    TForm4 status{&mainWindow};
    LinkLabelPort port{*linkLabel, language, dialogs, [this] { store.CopyDeviceToShown(); }, [] {}};
    TForm9 form{store, language, transport, status, port};
    bool deliveryScheduled = false;

    Rig() {
        transport.SetReplyHandler([this](const std::vector<std::uint8_t>& r) { form.OnInputReport(r); });
        // A real device answers on its own thread later; here the answers
        // reach the link on the next pass of the event loop.
        transport.SetRepliesWaitingNotice([this] {
            if (deliveryScheduled) return;
            deliveryScheduled = true;
            QTimer::singleShot(0, &form, [this] {
                deliveryScheduled = false;
                transport.DeliverReplies();
            });
        });
    }
    bool Linked() const { return form.session().Linked(); }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// (a) DevicePresent to linked and idle.
bool MeasureConnect(Rig& rig, int runs) {
    // One connect-timer second, then twelve transfer ticks (eleven blocks and
    // the end code), each of which needs the answer to the step before.
    constexpr double kFloorMs = 1000.0 + 12 * 50.0;
    std::printf("(a) DevicePresent -> linked, %d runs (floor %.0f ms)\n", runs, kFloorMs);
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        rig.form.session().NoDevicePresent();
        QElapsedTimer clock;
        clock.start();
        rig.form.session().DevicePresent();
        if (!RunUntil([&] { return rig.Linked(); }, 10000)) {
            std::printf("  run %d: not linked after 10 s\n", run + 1);
            return false;
        }
        const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        times.push_back(ms);
        std::printf("  run %d: %8.1f ms\n", run + 1, ms);
    }
    const double best = *std::min_element(times.begin(), times.end());
    const double median = Median(times);
    std::printf("  min %.1f ms, median %.1f ms; floor %.0f ms; median above floor %+.1f ms (%.1f %%)\n\n", best,
                median, kFloorMs, median - kFloorMs, 100.0 * (median - kFloorMs) / kFloorMs);
    return true;
}

// Frames the device saw for the two addresses of a burst.
std::size_t ChangeFrames(const VirtualTr640& device, ParamAddress a, ParamAddress b) {
    std::size_t n = 0;
    for (const auto& w : device.WriteLog()) n += w.address == a || w.address == b;
    return n;
}

// (b) Bursts of changes alternating between two addresses while linked.
bool MeasureBursts(Rig& rig, int changes) {
    constexpr ParamAddress kA = kAddrMic1InputVolume;
    constexpr ParamAddress kB = kAddrMic2InputVolume;
    auto value = [](int i) { return static_cast<std::int32_t>(i % 200); };
    auto address = [&](int i) { return i % 2 ? kB : kA; };
    bool ok = true;

    // b1: every change in one go, as a program would set many controls. The
    // queue keeps one entry per address and the hold timer sends one frame
    // per acknowledgement, at most one per tick.
    {
        rig.device.ClearWriteLog();
        const std::size_t before = rig.device.Stats().framesReceived;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < changes; ++i) rig.form.session().Send(address(i), value(i));
        const bool drained = RunUntil([&] { return rig.form.session().Quiet(); }, 20000);
        const double s = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const std::size_t frames = rig.device.Stats().framesReceived - before;
        const std::size_t changeFrames = ChangeFrames(rig.device, kA, kB);
        std::printf("(b1) %d SendParameter calls at once, alternating 0x%04X/0x%04X\n", changes, kA, kB);

        std::printf("  %s in %.3f s: %zu frames (%zu changes) -> %.1f frames/s"
                    " (hold timer pace: one per 40 ms tick = 25/s)\n",
                    drained ? "drained" : "NOT drained", s, frames, changeFrames, frames / s);
        // Only a check of what arrived, not a failure of the measurement.
        const bool current = rig.device.Value(kA) == static_cast<std::uint16_t>(value(changes - 2)) &&
                             rig.device.Value(kB) == static_cast<std::uint16_t>(value(changes - 1));
        std::printf("  device ends with 0x%04X=%u, 0x%04X=%u; last values set %d, %d%s\n", kA, rig.device.Value(kA), kB,
                    rig.device.Value(kB), value(changes - 2), value(changes - 1),
                    current ? "" : "  <- STALE: an older queued value reached the device last");
        ok = ok && drained;
    }

    // b2: one change per event-loop pass, as a dragged slider delivers them;
    // with an instant device each one finds the last acknowledged and goes
    // out at once.
    {
        RunUntil([] { return false; }, 200);  // let the keep-alive settle
        rig.device.ClearWriteLog();
        const std::size_t before = rig.device.Stats().framesReceived;
        int next = 0;
        std::function<void()> post = [&] {
            rig.form.session().Send(address(next), value(next));
            if (++next < changes) QMetaObject::invokeMethod(&rig.form, post, Qt::QueuedConnection);
        };
        QElapsedTimer clock;
        clock.start();
        QMetaObject::invokeMethod(&rig.form, post, Qt::QueuedConnection);
        const bool drained = RunUntil([&] { return next >= changes && rig.form.session().Quiet(); }, 20000);
        const double s = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const std::size_t frames = rig.device.Stats().framesReceived - before;
        const std::size_t changeFrames = ChangeFrames(rig.device, kA, kB);
        std::printf("(b2) %d SendParameter calls, one per event-loop pass\n", changes);
        std::printf("  %s in %.3f s: %zu frames (%zu changes) -> %.0f frames/s\n", drained ? "drained" : "NOT drained",
                    s, frames, changeFrames, frames / s);
        ok = ok && drained;
    }

    const bool lastValues = rig.device.Value(kA) == static_cast<std::uint16_t>(value(changes - 2)) &&
                            rig.device.Value(kB) == static_cast<std::uint16_t>(value(changes - 1));
    std::printf("  device holds the last values: %s; link %s\n", lastValues ? "yes" : "NO",
                rig.Linked() ? "linked" : "NOT linked");
    return ok && lastValues;
}

}  // namespace
}  // namespace tr640

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tr640::previousHandler = qInstallMessageHandler(&tr640::DropOffscreenNoise);

    tr640::Rig rig;
    bool ok = tr640::MeasureConnect(rig, 5);
    ok = ok && tr640::MeasureBursts(rig, 2000);
    std::printf("message boxes raised: %d\n", rig.dialogs.shown);
    return ok && rig.dialogs.shown == 0 ? 0 : 1;
}
