// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the EQ graph with a few shaped bands to PNG files for the
// documentation:
//   tr640-eqgraph-screenshot OUTPUT_DIRECTORY [LANGUAGE]
// LANGUAGE as --language takes it; other languages than Chinese (the
// default) carry their code in the file names.
// scripts/screenshots-eqgraph.sh runs it on an X server of its own (Xvfb),
// which the pictures are taken from.
// Microphone 1 gets a high pass, a low shelf, a narrow cut, a peak and a
// high shelf; the peak's band shows its readout, as after a click on its
// handle.

#include "model/ParamAddress.h"
#include "model/ValueKinds.h"
#include "ui/VirtualRig.h"
#include "ui/WindowPicture.h"

#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string code = argc > 2 ? argv[2] : "zh";
    const std::optional<int> language = tr640::LanguageByCode(code);
    if (argc < 2 || !language) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY [LANGUAGE]\n", argv[0]);
        return 2;
    }
    QDir directory(QString::fromLocal8Bit(argv[1]));
    if (!directory.mkpath(QStringLiteral("."))) return 1;
    const QString suffix = code == "zh" ? QString() : QStringLiteral("-") + QString::fromStdString(code);

    tr640::VirtualRig rig(nullptr, *language);
    tr640::Program& program = rig.program();
    program.Start();
    tr640::TForm1& main = program.mainWindow();
    main.Timer1->stop();

    // type, Hz, gain step (dB = step / 5 - 30), Q index for a peak, Q index otherwise
    const int bands[tr640::kBandsPerMic][tr640::kSlotsPerBand] = {
        {tr640::kFilterHighPass, 60, 150, 49, 19},     // high pass, Q 0.71
        {tr640::kFilterLowShelf, 200, 170, 49, 25},    // +4 dB shelf
        {tr640::kFilterParametric, 800, 75, 61, 25},   // -15 dB cut, Q 8.00
        {tr640::kFilterParametric, 3000, 195, 40, 25}, // +9 dB peak, Q 2.40
        {tr640::kFilterHighShelf, 9000, 130, 49, 30},  // -4 dB shelf
    };
    tr640::ParamStore& store = program.store();
    for (int b = 0; b < tr640::kBandsPerMic; ++b)
        for (int slot = 0; slot < tr640::kSlotsPerBand; ++slot)
            store.SetDevice(tr640::BandAddress(0, b, slot), bands[b][slot]);
    main.RefreshAll();
    main.DrawEq(3, 0);
    QApplication::processEvents();

    bool ok = true;
    auto save = [&](QWidget& widget, const QString& name) {
        const QString path = directory.filePath(name);
        const bool saved = tr640::SaveWindowPicture(widget, path);
        QTextStream(stdout) << (saved ? "wrote " : "FAILED ") << path << '\n';
        ok = ok && saved;
    };
    save(*main.EQAdvPanel, QStringLiteral("eq-graph") + suffix + QStringLiteral(".png"));
    save(main, QStringLiteral("main-window-eq") + suffix + QStringLiteral(".png"));
    return ok ? 0 : 1;
}
