// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the program's windows to PNG files for the documentation:
//   tr640-screenshots OUTPUT_DIRECTORY [LANGUAGE]
// LANGUAGE is a code as --language takes it (zh when not given); the
// pictures of another language than Chinese carry its code in their names
// (main-window-en.png).
// scripts/screenshots.sh runs it on an X server of its own (Xvfb), which the
// pictures are taken from; on the offscreen platform the windows render
// themselves. The
// program runs over a virtual TR640 and is connected first, so the windows
// show a device's values rather than the start-up placeholders.

#include "ui/DemoDeviceWindow.h"
#include "ui/VirtualRig.h"
#include "ui/WindowPicture.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QTabWidget>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>

namespace {

// Connects by running the link's timers by hand: the key, then the read of
// both pages, handing over the device's replies between ticks.
bool Connect(tr640::VirtualRig& rig) {
    tr640::TForm9& link = rig.program().linkWindow();
    rig.Plug();
    rig.transport().DeliverReplies();
    link.Timer1Timer();
    rig.transport().DeliverReplies();
    for (int tick = 0; link.Timer2->isActive() && tick < 500; ++tick) {
        link.Timer2Timer();
        rig.transport().DeliverReplies();
    }
    // Nothing runs on its own while the pictures are taken.
    link.HoldTimer->stop();
    rig.program().mainWindow().Timer1->stop();
    return rig.program().session().Linked();
}

bool Save(QWidget& window, const QDir& directory, const QString& name) {
    const QString path = directory.filePath(name);
    const bool ok = tr640::SaveWindowPicture(window, path);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

// The offscreen platform cannot raise windows and says so each time the
// status window is shown; nothing else is kept quiet.
void DropRaiseWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support"))) return;
    QTextStream(stderr) << qFormatLogMessage(type, context, message) << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(DropRaiseWarnings);
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
    auto name = [&suffix](const char* base) { return QString::fromLatin1(base) + suffix + QStringLiteral(".png"); };

    tr640::VirtualRig rig(nullptr, *language);
    tr640::Program& program = rig.program();
    program.Start();
    if (!Connect(rig)) {
        std::fprintf(stderr, "the virtual device did not connect\n");
        return 1;
    }
    tr640::TForm1& main = program.mainWindow();
    // One tick of the refresh timer: the EQ graph follows the shown page and
    // reads out its selected band.
    auto settle = [&main] { main.Timer1Timer(); main.Timer1->stop(); };
    settle();
    QApplication::processEvents();

    bool ok = Save(main, directory, name("main-window"));
    main.AdvPageControl2->setCurrentIndex(1);
    settle();
    ok = Save(main, directory, name("main-window-mic2")) && ok;
    main.AdvPageControl2->setCurrentIndex(0);
    settle();
    main.AdvPageControl1->setCurrentIndex(1);
    ok = Save(main, directory, name("main-window-dynamics")) && ok;
    main.AdvPageControl1->setCurrentIndex(0);

    // The status window as a transfer shows it, part of the way through.
    tr640::TForm4& status = program.statusWindow();
    status.ShowStatus(QString::fromStdString(tr640::Translate(*language, "加载中...")), 40, program.language());
    ok = Save(status, directory, name("status-window")) && ok;

    // The demo's window for the virtual unit, with the unit plugged in.
    tr640::DemoDeviceWindow demo({}, nullptr, *language);
    demo.SetPlugged(true);
    demo.show();
    QApplication::processEvents();
    ok = Save(demo, directory, name("demo-window")) && ok;
    return ok ? 0 : 1;
}
