// The TR640 control program.

#include "link/hid/HidapiPlatform.h"
#include "ui/Program.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // The USB side: hidapi over hidraw, watched by udev. The link window's
    // device controller scans once the event loop starts and announces the
    // TR640 if one is plugged in.
    tr640::HidapiPlatform platform;
    tr640::Program program(platform);
    return program.Run();
}
