// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the real program: from the moment the process was created to
// the main window shown and painted, and the peak resident memory by then.
// Runs the program as it ships (hidraw platform, every window) on whatever
// Qt platform is set (offscreen when there is no display), then quits.

#include "link/hid/HidapiPlatform.h"
#include "ui/Program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Seconds since boot at which this process was created (field 22 of
// /proc/self/stat, in clock ticks).
double ProcessStartSeconds() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // The command name may hold spaces; fields resume after its ')'.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i) rest >> field;
    return std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double SecondsSinceBoot() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tr640::HidapiPlatform platform;
    tr640::Program program(platform);
    program.Start();

    // Shown is not enough: wait until the first paint has been done.
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!program.mainWindow().isVisible()) return;
        poll.stop();
        program.mainWindow().repaint();
        const double ms = (SecondsSinceBoot() - ProcessStartSeconds()) * 1000.0;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("start to main window shown: %.0f ms (process clock resolution %.0f ms)\n", ms,
                    1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK)));
        std::printf("peak resident memory: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
        QApplication::quit();
    });
    poll.start();
    return QApplication::exec();
}
