// SPDX-License-Identifier: GPL-3.0-or-later
// tr640ctl: the TR640 from the command line. No widgets, no display: it
// runs on QCoreApplication, over SSH and from udev-started services alike.

#include "cli/Tr640Ctl.h"

#include <QCoreApplication>

#include <atomic>
#include <csignal>
#include <iostream>

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnSignal(int) { g_interrupted.store(true); }

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Ctrl-C and SIGTERM end the command at its next step, with the unit
    // released and what it acknowledged reported, rather than at once.
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    std::vector<std::string> args(argv, argv + argc);
    tr640::CtlEnvironment env{std::cout, std::cerr, nullptr, [] { return g_interrupted.load(); }};
    return tr640::RunTr640Ctl(args, env);
}
