// SPDX-License-Identifier: GPL-3.0-or-later
// The TR640 control program.

#include "link/hid/HidapiPlatform.h"
#include "ui/CommandLine.h"
#include "ui/Program.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    const QString description = QStringLiteral("The control program of the Halvane TR640 audio processor.");
    if (tr640::HelpAnswered(argc, argv, description)) return 0;
    if (tr640::NoDisplayAnswered(argc, argv)) return 1;
    QApplication app(argc, argv);
    tr640::ProgramOptions options;
    int status = 0;
    if (!tr640::ReadOptions(description, options, status)) return status;
    // Lets desktops match the windows to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tr640.Control"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.tr640.Control")));

    // The USB side: hidapi over hidraw, watched by udev. The link window's
    // device controller scans once the event loop starts and announces the
    // TR640 if one is plugged in.
    tr640::HidapiPlatform platform;
    tr640::Program program(platform, nullptr, tr640::RunLanguage(options));
    // One program drives a unit at a time: a unit that tr640ctl or the
    // bridge holds is left to it until it is free.
    program.session().LockUnitsAs("tr640");
    return program.Run();
}
