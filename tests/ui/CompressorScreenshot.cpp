// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the compressor curve window to a PNG file for the documentation:
//   tr640-compressor-screenshot OUTPUT_FILE
// scripts/screenshots-compressor.sh runs it on an X server of its own (Xvfb),
// which the picture is taken from. The window shows the mid band with a typical compressor curve, as it
// would after being opened from the main window's curve button.

#include "model/CompressorCurve.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"
#include "ui/Unit14.h"
#include "ui/WindowPicture.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);

    tr640::ParamStore store;
    const int points[5][2] = {{-90, -90}, {-60, -58}, {-30, -30}, {-15, -20}, {6, -10}};
    for (int k = 0; k < 5; ++k) {
        store.SetShown(tr640::CompressorCurveAddress(1, k), tr640::EncodeCompressorPoint(points[k][0], points[k][1]));
    }
    tr640::TForm14 form(store, nullptr);
    form.OpenForBand(1);
    QApplication::processEvents();

    const bool ok = tr640::SaveWindowPicture(form, path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok ? 0 : 1;
}
