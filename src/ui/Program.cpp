// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Program.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>
#include <QTimer>

namespace tr640 {

namespace {

// Application-wide look, set before the first window exists: one style and
// font everywhere so that the fixed layout fits. The main window's caption
// is the title of the plain message boxes, passed to them directly: as the
// application's display name, X11 and other platforms would append it to
// the title of every other window and box.
std::unique_ptr<Dialogs> PrepareApplication(std::unique_ptr<Dialogs> dialogs, int language) {
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(style);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(11);
    QApplication::setFont(font);
    if (!dialogs) dialogs = std::make_unique<QtDialogs>(nullptr, TForm1::Caption(language));
    return dialogs;
}

}  // namespace

Program::Program(LinkBackend backend, std::unique_ptr<Dialogs> dialogs, int language)
    : language_(language),
      dialogs_(PrepareApplication(std::move(dialogs), language)),
      mainWindow_(store_, controlMap_, state_, language_, *dialogs_),
      linkWindow_(store_, language_, backend, statusWindow_, mainWindow_.LinkPort()),
      statusWindow_(&mainWindow_, language_),
      compressorWindow_(
          store_, [this](int address, std::int32_t value) { linkWindow_.session().Send(address, value); },
          &mainWindow_, language_),
      presets_(
          store_, *dialogs_, [this] { linkWindow_.session().WritePageOne(); }, language_) {
    if (auto* real = dynamic_cast<QtDialogs*>(dialogs_.get())) real->SetOwner(&mainWindow_);
    mainWindow_.AttachLink(linkWindow_.session());
    mainWindow_.SetCompressorOpener([this](int band) { compressorWindow_.OpenForBand(band); });
    presets_.SetWriteAllGate([this] { return linkWindow_.session().CanWritePageOne(); });
    mainWindow_.SetPresetFlows([this] { presets_.LoadPreset(); }, [this] { presets_.SavePreset(); });
    mainWindow_.SetEqGraph(&eqGraph_);
}

Program::~Program() {
    // The link's timers stop before the windows it talks to go.
    linkWindow_.Timer1->stop();
    linkWindow_.Timer2->stop();
    linkWindow_.HoldTimer->stop();
    mainWindow_.Timer1->stop();
}

void Program::Start() { mainWindow_.show(); }

int Program::Run() {
    Start();
    return QApplication::exec();
}

}  // namespace tr640
