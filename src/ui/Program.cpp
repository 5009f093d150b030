// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Program.h"

#include "link/hid/HidDeviceController.h"
#include "link/hid/HidLinkHandlers.h"
#include "ui/CommandLine.h"

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
          store_,
          [this](int address, std::int32_t value) {
              // An applied curve is a change of the windows, one undo step.
              mainWindow_.SendChange(address, curveBefore_.Shown(address), value);
          },
          &mainWindow_, language_),
      presets_(
          store_, *dialogs_, [this] { linkWindow_.session().WritePageOne(); }, language_) {
    if (auto* real = dynamic_cast<QtDialogs*>(dialogs_.get())) real->SetOwner(&mainWindow_);
    mainWindow_.AttachLink(linkWindow_.session());
    mainWindow_.SetCompressorOpener([this](int band) { compressorWindow_.OpenForBand(band); });
    presets_.SetWriteAllGate([this] { return linkWindow_.session().CanWritePageOne(); });
    presets_.SetRefusedLoad([this](const ParamStore& file) {
        // No unit: the file's settings wait as changes made offline.
        if (linkWindow_.session().State() == LinkStatus::NoUnit) {
            mainWindow_.KeepAsUnsentChanges(file);
            return true;
        }
        return false;
    });
    mainWindow_.SetPresetFlows(
        [this] {
            loadBefore_ = store_;
            presets_.LoadPreset();
        },
        [this] { presets_.SavePreset(); });
    mainWindow_.SetTransferEndHook([this] { AfterTransfer(); });
    mainWindow_.SetLanguageChooser([this](int chosen) {
        RememberLanguage(chosen);
        dialogs_->PlainMessage(Tr(language_, "语言将在下次启动时更改。"));
    });
    mainWindow_.SetAboutText([this] { return AboutText(); });
    mainWindow_.SetAfterReplay([this] {
        if (compressorWindow_.isVisible()) compressorWindow_.Update(CompressorUpdate::Load);
    });
    compressorWindow_.SetApplyStarting([this] {
        mainWindow_.History().NewAction();
        curveBefore_ = store_;
    });
    mainWindow_.SetEqGraph(&eqGraph_);
}

Program::~Program() {
    // The link's timers stop before the windows it talks to go.
    linkWindow_.Timer1->stop();
    linkWindow_.Timer2->stop();
    linkWindow_.HoldTimer->stop();
    mainWindow_.Timer1->stop();
}

// A load's write-all has ended when a transfer towards the unit ends: the
// file's system settings follow it as changes the user made.
void Program::AfterTransfer() {
    const bool wroteAll = session().LastTransferWrote();
    // A load is one undo step: the page the write took over and the system
    // settings that follow it as changes.
    const bool loaded = wroteAll && presets_.LoadWaiting();
    if (loaded) mainWindow_.History().NewAction();
    presets_.TransferEnded(wroteAll, [this](int address, std::int32_t value) {
        mainWindow_.SendParameter(address, value);
    });
    if (loaded) mainWindow_.RecordTakenOver(loadBefore_);
    if (wroteAll) mainWindow_.RefreshAll();
    if (!wroteAll) mainWindow_.AskAboutUnsentChanges();
}

QString Program::AboutText() {
    QString serial;
    const UnitSession& session = linkWindow_.session();
    if (session.link().Present())
        if (const std::optional<HidDeviceInfo> unit = session.Unit()) serial = QString::fromStdString(unit->serial);
    const QString unit = serial.isEmpty() ? Tr(language_, "没有已连接的设备")
                                          : Tr(language_, "已连接设备序列号：%1").arg(serial);
    return TForm1::Caption(language_) + QStringLiteral("\n") +
           Tr(language_, "版本 %1").arg(QStringLiteral(TR640_VERSION)) + QStringLiteral("\n") +
           Tr(language_, "许可证：GPL-3.0-or-later") + QStringLiteral("\n") + unit;
}

void Program::Start() { mainWindow_.show(); }

int Program::Run() {
    Start();
    return QApplication::exec();
}

}  // namespace tr640
