// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the EQ graph's context menu and of the question an EQ import
// asks, for the documentation:
//   tr640-eqfile-screenshot OUTPUT_DIRECTORY [LANGUAGE]
// scripts/screenshots-eqfile.sh runs it on an X server of its own (Xvfb),
// which the pictures are taken from. The program runs over a connected
// virtual TR640; the question is the real box, answered No once taken.

#include "model/Language.h"
#include "ui/EqFileMenu.h"
#include "ui/QtDialogs.h"
#include "ui/VirtualRig.h"
#include "ui/WindowPicture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr char kRoomEq[] =
    "Filter Settings file\n"
    "Room EQ V5.20\n"
    "Equaliser: Generic\n"
    "Preamp: -4.5 dB\n"
    "Filter  1: ON  HPQ      Fc   60 Hz  Q  0.71\n"
    "Filter  2: ON  PK       Fc   147.0 Hz  Gain  -7.90 dB  Q  2.100\n"
    "Filter  3: ON  PK       Fc    1,250 Hz  Gain   2.50 dB  Q  0.800\n"
    "Filter  4: ON  HSC      Fc    8000 Hz  Gain  -3.00 dB  Q  0.710\n"
    "Filter  5: ON  None\n";

// The real boxes, with the file dialog answered by the file written here.
class PathDialogs : public tr640::QtDialogs {
public:
    QString path;
    QString OpenFileName(const QString&) override { return path; }
};

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
    link.HoldTimer->stop();
    rig.program().mainWindow().Timer1->stop();
    return rig.program().link().Vars().linkState == tr640::kLinkedIdle;
}

void Report(bool ok, const QString& path) { QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n'; }

// The screen around the graph, with the menu open over it.
bool SaveMenuPicture(tr640::TForm1& main, tr640::EqFileMenu& eqMenu, const QString& path) {
    QMenu* menu = eqMenu.BuildMenu(main.AdvPanel2);
    const QPoint at = main.AdvPanel2->mapToGlobal(QPoint(420, 60));
    menu->popup(at);
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    const QRect panel(main.EQAdvPanel->mapToGlobal(QPoint(0, 0)), main.EQAdvPanel->size());
    const QRect area = panel.united(menu->geometry()).adjusted(-4, -4, 4, 4);
    const bool ok = QGuiApplication::primaryScreen()
                        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                        .save(path, "PNG");
    menu->close();
    delete menu;
    return ok;
}

}  // namespace

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
    auto name = [&](const char* base) { return directory.filePath(QString::fromLatin1(base) + suffix + ".png"); };

    QTemporaryDir work;
    auto dialogs = std::make_unique<PathDialogs>();
    PathDialogs& answers = *dialogs;
    answers.path = work.filePath(QStringLiteral("room-eq.txt"));
    QFile file(answers.path);
    if (!file.open(QIODevice::WriteOnly) || file.write(kRoomEq) < 0) return 1;
    file.close();

    tr640::VirtualRig rig(std::move(dialogs), *language);
    tr640::Program& program = rig.program();
    program.Start();
    if (!Connect(rig)) {
        std::fprintf(stderr, "the virtual device did not connect\n");
        return 1;
    }
    tr640::TForm1& main = program.mainWindow();
    main.Timer1Timer();
    main.Timer1->stop();
    QApplication::processEvents();

    const QString menuPath = name("eq-menu");
    bool ok = SaveMenuPicture(main, program.eqFileMenu(), menuPath);
    Report(ok, menuPath);

    // The question is modal: its picture is taken from inside its event loop.
    const QString questionPath = name("eq-import-question");
    bool questionOk = false;
    QTimer::singleShot(300, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        questionOk = tr640::SaveWindowPicture(*box, questionPath);
        if (QAbstractButton* no = box->button(QMessageBox::No))
            no->click();
        else
            box->reject();
    });
    program.eqFileMenu().ImportEq();
    Report(questionOk, questionPath);
    return ok && questionOk ? 0 : 1;
}
