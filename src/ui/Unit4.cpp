// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Unit4.h"

#include <QAbstractButton>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QScreen>
#include <QVariant>

#include <algorithm>

namespace tr640 {

namespace {
constexpr char kHintProperty[] = "hint";
// Makes a one-line label's font smaller until its text fits the label,
// for a text longer than the place the window has for it. A text that
// fits keeps the font as it is.
void ShrinkToFit(QLabel& label) {
    constexpr int kSmallestPixels = 8;
    QFont font = label.font();
    int pixels = QFontInfo(font).pixelSize();
    while (pixels > kSmallestPixels &&
           QFontMetrics(font).horizontalAdvance(label.text()) > label.contentsRect().width()) {
        font.setPixelSize(--pixels);
    }
    if (font != label.font()) label.setFont(font);
}

}  // namespace

void SetBilingualText(QWidget* control, int language, const QString& english, const QString& chinese) {
    auto* label = qobject_cast<QLabel*>(control);
    if (!label) return;
    const bool chineseChosen = language == 1;
    label->setText(chineseChosen ? chinese : english);
    SetHint(label, chineseChosen ? english : chinese);
}

void SetBilingualText(QWidget* control, int language, const char* chinese) {
    const Bilingual twins = Twins(language, chinese);
    SetBilingualText(control, language, QString::fromStdString(twins.english), QString::fromStdString(twins.chinese));
}

QString Tr(int language, const char* chinese) { return QString::fromStdString(Translate(language, chinese)); }

void SetBilingualCaption(QAbstractButton* button, int language, const char* chinese) {
    const Bilingual twins = Twins(language, chinese);
    const bool chineseChosen = language == kLanguageChinese;
    button->setText(QString::fromStdString(chineseChosen ? twins.chinese : twins.english));
    SetHint(button, QString::fromStdString(chineseChosen ? twins.english : twins.chinese));
}

QString Hint(const QWidget* control) {
    return control ? control->property(kHintProperty).toString() : QString();
}

void SetHint(QWidget* control, const QString& hint) {
    if (control) control->setProperty(kHintProperty, hint);
}

TForm4::TForm4(QWidget* mainWindow, int language)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(Tr(language, "设备状态"));
    setFixedSize(319, 91);
    // A status window must never be the reason the program quits.
    setAttribute(Qt::WA_QuitOnClose, false);

    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(209, 209, 224));
    setPalette(background);
    setAutoFillBackground(true);

    LinkLabel = new QLabel(Tr(language, "设备未连接"), this);
    LinkLabel->setObjectName(QStringLiteral("LinkLabel"));
    LinkLabel->setTextFormat(Qt::PlainText);
    LinkLabel->setGeometry(25, 8, 268, 18);

    RzProgressStatus1 = new QProgressBar(this);
    RzProgressStatus1->setObjectName(QStringLiteral("RzProgressStatus1"));
    RzProgressStatus1->setRange(0, 100);
    RzProgressStatus1->setValue(0);
    RzProgressStatus1->setTextVisible(false);
    RzProgressStatus1->setGeometry(25, 30, 268, 22);
    RzProgressStatus1->setStyleSheet(QStringLiteral(
        "QProgressBar { background-color: rgb(181, 170, 165); border: 1px solid rgb(128, 128, 128); }"
        "QProgressBar::chunk { background: qlineargradient(x1: 0, y1: 0, x2: 1, y2: 0,"
        " stop: 0 rgb(79, 79, 117), stop: 1 rgb(90, 90, 135)); }"));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(8, 62, 303, 18);
    SetBilingualText(Label1, language, "请稍等,可能需要几秒钟才能完成操作！");
    // The English note is longer than the line the window has for it.
    ShrinkToFit(*Label1);
}

void TForm4::SetProgress(int percent) {
    // Transfers report 200 once the end code has been answered: a full bar.
    RzProgressStatus1->setValue(std::clamp(percent, 0, 100));
}

void TForm4::ShowStatus(const QString& linkCaption, int percent, int language) {
    const Bilingual status = Twins(language, "状态：");
    SetBilingualText(LinkLabel, language, QString::fromStdString(status.english) + linkCaption,
                     QString::fromStdString(status.chinese) + linkCaption);
    SetProgress(percent);
    // The transfer timer calls this every 50 ms: only the first showing
    // places the window, later ones leave it where the user put it.
    if (!placed_) {
        CentreOver(*this, mainWindow_);
        placed_ = true;
    }
    show();
    raise();
}

void TForm4::HideStatus(int percent) {
    SetProgress(percent);
    hide();
}

void CentreOver(QWidget& window, const QWidget* owner) {
    QRect area;
    if (owner) {
        area = owner->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    } else {
        return;
    }
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

}  // namespace tr640
