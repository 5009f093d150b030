// SPDX-License-Identifier: GPL-3.0-or-later
// tr640ctl: the TR640 from the command line. No widgets, no display: it
// runs on QCoreApplication, over SSH and from udev-started services alike.

#include "cli/Tr640Ctl.h"

#include <QCoreApplication>

#include <time.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnSignal(int) { g_interrupted.store(true); }

// With TR640CTL_STAMP_FIRST_FRAME set, the moment the first frame is
// written goes to stderr as CLOCK_MONOTONIC seconds, for the benchmark that
// measures the time from the process start to it.
std::function<void()> FirstFrameStamp() {
    if (!std::getenv("TR640CTL_STAMP_FIRST_FRAME")) return {};
    return [] {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::fprintf(stderr, "tr640ctl: first frame written at %lld.%09ld\n", static_cast<long long>(now.tv_sec),
                     now.tv_nsec);
    };
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Ctrl-C and SIGTERM end the command at its next step, with the unit
    // released and what it acknowledged reported, rather than at once.
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    std::vector<std::string> args(argv, argv + argc);
    tr640::CtlEnvironment env{std::cout, std::cerr, nullptr, [] { return g_interrupted.load(); }, FirstFrameStamp(),
                              {}, {}, &std::cin};
    return tr640::RunTr640Ctl(args, env);
}
