// The TR640 control program.

#include "link/hid/HidDeviceController.h"
#include "link/hid/HidLinkHandlers.h"
#include "link/hid/HidapiPlatform.h"
#include "ui/HidWiring.h"
#include "ui/Program.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // The USB side: hidapi over hidraw, watched by udev. The controller's
    // first scan runs once the event loop starts and announces the TR640
    // if one is plugged in.
    tr640::HidapiPlatform platform;
    tr640::TJvHidDeviceController controller(platform);
    tr640::HidLinkHandlers hid(controller);

    tr640::Program program(hid);
    tr640::LinkWindowHidPort port(program.linkWindow());
    hid.SetPort(&port);
    hid.BindEvents();

    const int result = program.Run();
    // Devices released while the program is taken down report to no one.
    hid.SetPort(nullptr);
    return result;
}
