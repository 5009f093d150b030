// SPDX-License-Identifier: GPL-3.0-or-later
// The TR640 control program over a virtual TR640 on a virtual HID bus:
// everything from the device list to the replies takes the same road as
// with the real unit. A small window of its own plugs the device in, pulls
// it out or silences it.

#include "ui/CommandLine.h"
#include "ui/DemoDeviceWindow.h"
#include "ui/Program.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <QApplication>
#include <QIcon>
#include <QPushButton>

#include <memory>
#include <string>

int main(int argc, char** argv) {
    const QString description =
        QStringLiteral("The control program of the Halvane TR640 over a virtual TR640: no hardware needed.");
    if (tr640::HelpAnswered(argc, argv, description)) return 0;
    if (tr640::NoDisplayAnswered(argc, argv)) return 1;
    QApplication app(argc, argv);
    tr640::ProgramOptions options;
    int status = 0;
    if (!tr640::ReadOptions(description, options, status)) return status;
    // Lets desktops match the windows to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tr640.Control"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.tr640.Control")));

    tr640::VirtualTr640 device;
    tr640::VirtualHidBus bus;
    const auto endpoint = std::make_shared<tr640::VirtualTr640Endpoint>(device);
    tr640::Program program(bus, nullptr, tr640::RunLanguage(options));

    std::string path;  // the plugged-in device's node, empty while unplugged
    tr640::DemoDeviceWindow controls({[&] {
                                          if (path.empty()) path = bus.Plug(tr640::VirtualTr640Info(), endpoint);
                                      },
                                      [&] {
                                          if (path.empty()) return;
                                          bus.Unplug(path);
                                          path.clear();
                                      },
                                      [&](bool silent) { device.SetSilent(silent); }},
                                     nullptr, options.language);

    program.Start();
    // Beside the main window, clear of it.
    const QRect main = program.mainWindow().frameGeometry();
    controls.move(main.right() + 12, main.top());
    controls.show();

    // The virtual unit is plugged in from the start.
    controls.PlugBtn->click();

    return QApplication::exec();
}
