// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/StatusDisplay.h"
#include "model/Language.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QProgressBar;

namespace tr640 {

// Shows a text that exists in two languages on a label: the program's
// language as the caption, the other one as the hint. Language 1 is Chinese,
// anything else English. Controls other than labels are left alone.
void SetBilingualText(QWidget* control, int language, const QString& english, const QString& chinese);
// The same for a text of the program (written in Chinese), its twin taken
// from the language's table.
void SetBilingualText(QWidget* control, int language, const char* chinese);

// A text of the program (written in Chinese) in the program's language.
QString Tr(int language, const char* chinese);

// A button's caption in the program's language, with the other language's
// twin as its hint, as SetBilingualText does for labels.
void SetBilingualCaption(QAbstractButton* button, int language, const char* chinese);

// The hint of a control: the other language's twin of its caption, or a
// short description. Kept as data (the "hint" property), never shown as a
// tooltip.
QString Hint(const QWidget* control);
void SetHint(QWidget* control, const QString& hint);

// Moves `window` so that it is centred over `owner` (the main window), or
// over the primary screen when there is no owner.
void CentreOver(QWidget& window, const QWidget* owner);

// The status window: a small window on top of all others that shows what
// the link is doing and how far a transfer or mode command has come.
class TForm4 : public QWidget, public StatusDisplay {
    Q_OBJECT

public:
    // `mainWindow` is the window it is centred over the first time it shows;
    // `language` is the program's, for the window's own texts.
    explicit TForm4(QWidget* mainWindow = nullptr, int language = kLanguageChinese);

    void SetMainWindow(QWidget* mainWindow) { mainWindow_ = mainWindow; }

    // The link's caption on the label, the percentage on the bar (clamped to
    // 0..100), then shown and raised where it already is.
    void ShowStatus(const QString& linkCaption, int percent, int language);
    // The final percentage on the bar, then hidden.
    void HideStatus(int percent);

    // The link's view of this window.
    void ShowLinkProgress(const std::string& linkCaption, int percent, int language) override {
        ShowStatus(QString::fromStdString(linkCaption), percent, language);
    }
    void HideLinkProgress(int percent) override { HideStatus(percent); }

    QLabel* LinkLabel;
    QProgressBar* RzProgressStatus1;
    QLabel* Label1;

private:
    void SetProgress(int percent);

    QPointer<QWidget> mainWindow_;
    bool placed_ = false;
};

}  // namespace tr640
