// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of what the windows say about the link and what they offer an
// editor's user, for the documentation (scripts/screenshots-windows.sh):
//   tr640-windows-screenshot OUTPUT_DIRECTORY [LANGUAGE]
// The link label with no unit, the question about changes made offline,
// the menu open and a tooltip, over a virtual TR640 on an X server.

#include "ui/ControlTips.h"
#include "ui/VirtualRig.h"
#include "ui/WindowPicture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include <cstdio>
#include <optional>
#include <string>

namespace {

void RunLink(tr640::VirtualRig& rig) {
    tr640::TForm9& link = rig.program().linkWindow();
    rig.transport().DeliverReplies();
    link.Timer1Timer();
    rig.transport().DeliverReplies();
    for (int tick = 0; link.Timer2->isActive() && tick < 500; ++tick) {
        link.Timer2Timer();
        rig.transport().DeliverReplies();
    }
    link.HoldTimer->stop();
    rig.program().mainWindow().Timer1->stop();
}

bool Report(bool ok, const QString& path) {
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

void Settle() {
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

// The screen around `anchor`, with a popup over it.
bool SaveScreenAround(QWidget& anchor, QWidget& popup, const QString& path) {
    const QRect around(anchor.mapToGlobal(QPoint(0, 0)), anchor.size());
    const QRect area = around.united(popup.geometry()).adjusted(-4, -4, 4, 4);
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(path, "PNG");
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

    tr640::VirtualRig rig(nullptr, *language);
    tr640::Program& program = rig.program();
    tr640::TForm1& main = program.mainWindow();
    program.Start();
    main.Timer1->stop();
    Settle();

    // No unit, and a gain typed meanwhile: kept, not sent.
    rig.Unplug();
    program.link().NoDevicePresent();
    main.ApplyValue(main.Mic1GainEdit3, tr640::Step::None, tr640::Source::User, 4);
    Settle();
    bool ok = Report(tr640::SaveWindowPicture(main, name("link-label-no-unit")), name("link-label-no-unit"));

    // The unit links: its read ends in the question, taken from inside its loop.
    bool questionOk = false;
    QTimer::singleShot(300, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        questionOk =
            Report(tr640::SaveWindowPicture(*box, name("offline-changes-question")), name("offline-changes-question"));
        box->reject();
    });
    rig.Plug();
    RunLink(rig);
    ok = questionOk && ok;

    // The menu, open with its edit entries.
    QMenu* menu = main.MainMenu;
    menu->popup(main.MenuBtn->mapToGlobal(QPoint(0, main.MenuBtn->height())));
    Settle();
    QMenu* edit = menu->actions().size() > 1 ? menu->actions()[1]->menu() : nullptr;
    if (edit) {
        edit->popup(menu->geometry().topRight() + QPoint(0, menu->actionGeometry(menu->actions()[1]).top()));
        Settle();
    }
    ok = Report(SaveScreenAround(*main.RzGroupBox1, edit ? *edit : *menu, name("main-menu")), name("main-menu")) && ok;
    if (edit) edit->close();
    menu->close();
    Settle();

    // A tooltip from the catalogue, over a gain field.
    QLineEdit* field = main.Mic1GainEdit3;
    QToolTip::showText(field->mapToGlobal(QPoint(field->width() / 2, field->height())), field->toolTip(), field);
    Settle();
    QWidget* tip = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits("QTipLabel") && widget->isVisible()) tip = widget;
    // From the screen: the tip is a short-lived window of its own.
    ok = Report(tip && SaveScreenAround(*field->parentWidget(), *tip, name("tooltip")), name("tooltip")) && ok;
    return ok ? 0 : 1;
}
