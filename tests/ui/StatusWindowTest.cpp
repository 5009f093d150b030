// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/QuietOffscreen.h"
#include "ui/QtDialogs.h"
#include "ui/Unit4.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace tr640 {
namespace {

using testing::QuietOffscreen;

// --- The bilingual text rule -------------------------------------------------

TEST(SetBilingualText, ChineseCaptionWithTheEnglishTwinAsHint) {
    QLabel label;
    SetBilingualText(&label, 1, "OffLine", "设备未连接");
    EXPECT_EQ(label.text(), "设备未连接");
    EXPECT_EQ(Hint(&label), "OffLine");
    // The hint is data for the program, not a tooltip for the user.
    EXPECT_TRUE(label.toolTip().isEmpty());
}

TEST(SetBilingualText, EveryOtherLanguageShowsEnglish) {
    for (int language : {0, 2, -1}) {
        QLabel label;
        SetBilingualText(&label, language, "OffLine", "设备未连接");
        EXPECT_EQ(label.text(), "OffLine") << language;
        EXPECT_EQ(Hint(&label), "设备未连接") << language;
    }
}

TEST(SetBilingualText, LeavesControlsOtherThanLabelsAlone) {
    QPushButton button("联机");
    SetHint(&button, "Connect");
    QLineEdit edit("1000");
    SetBilingualText(&button, 1, "OffLine", "设备未连接");
    SetBilingualText(&edit, 1, "OffLine", "设备未连接");
    SetBilingualText(nullptr, 1, "OffLine", "设备未连接");
    EXPECT_EQ(button.text(), "联机");
    EXPECT_EQ(Hint(&button), "Connect");
    EXPECT_EQ(edit.text(), "1000");
    EXPECT_TRUE(Hint(&edit).isEmpty());
}

// --- The status window ---------------------------------------------------------

TEST(StatusWindow, StartsHiddenOnTopWithItsFixedTexts) {
    TForm4 status;
    EXPECT_FALSE(status.isVisible());
    EXPECT_EQ(status.windowTitle(), "设备状态");
    EXPECT_EQ(status.size(), QSize(319, 91));
    EXPECT_EQ(status.minimumSize(), status.maximumSize());
    EXPECT_TRUE(status.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(status.palette().color(QPalette::Window), QColor(209, 209, 224));

    EXPECT_EQ(status.LinkLabel->text(), "设备未连接");
    EXPECT_EQ(status.Label1->text(), "请稍等,可能需要几秒钟才能完成操作！");
    EXPECT_EQ(Hint(status.Label1), "Please wait, it may take a few seconds to complete the operation!");
    EXPECT_EQ(status.RzProgressStatus1->width(), 268);
    EXPECT_FALSE(status.RzProgressStatus1->isTextVisible());
}

TEST(StatusWindow, ShowStatusClampsThePercentageToTheBar) {
    QuietOffscreen quiet;
    TForm4 status;
    status.ShowStatus("连接中...", 200, 1);
    EXPECT_EQ(status.RzProgressStatus1->value(), status.RzProgressStatus1->maximum());
    status.ShowStatus("连接中...", -5, 1);
    EXPECT_EQ(status.RzProgressStatus1->value(), 0);
    status.HideStatus(200);
    EXPECT_FALSE(status.isVisible());
    EXPECT_EQ(status.RzProgressStatus1->value(), 100);
}

TEST(StatusWindow, CentredOverTheMainWindowOnlyTheFirstTime) {
    QuietOffscreen quiet;
    QWidget mainWindow;
    mainWindow.setGeometry(200, 150, 800, 600);
    TForm4 status(&mainWindow);

    status.ShowStatus("连接中...", 0, 1);
    EXPECT_TRUE(status.isVisible());
    EXPECT_LE((status.geometry().center() - mainWindow.frameGeometry().center()).manhattanLength(), 4);

    // Where the user moved it, it stays, however often the link shows it.
    status.move(10, 20);
    const QRect moved = status.geometry();
    status.ShowStatus("连接中...", 100, 1);
    status.HideStatus(0);
    status.ShowStatus("加载中...", 0, 1);
    EXPECT_EQ(status.geometry(), moved);
}

// --- The real boxes --------------------------------------------------------------

// Presses a button of the box that is open once its event loop runs, and
// notes what the box said.
struct BoxAnswer {
    QuietOffscreen quiet;
    QString caption, text;
    bool timerTicked = false;
    void PressOnce(QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            box->button(button)->click();
        });
    }
};

TEST(QtDialogs, MessageRunsItsOwnLoopSoTimersKeepTicking) {
    QtDialogs dialogs;
    BoxAnswer answer;
    QTimer ticking;
    ticking.setInterval(0);
    QObject::connect(&ticking, &QTimer::timeout, [&] { answer.timerTicked = true; });
    ticking.start();
    answer.PressOnce(QMessageBox::Ok);
    dialogs.Message("提示", "连接失败!");
    EXPECT_EQ(answer.caption, "提示");
    EXPECT_EQ(answer.text, "连接失败!");
    EXPECT_TRUE(answer.timerTicked);
}

TEST(QtDialogs, ConfirmAnswersYesOrNoAndPlainMessagesCarryTheTitle) {
    QtDialogs dialogs(nullptr, "Halvane[TR640控制软件 v0.3]");
    BoxAnswer answer;
    answer.PressOnce(QMessageBox::Yes);
    EXPECT_TRUE(dialogs.Confirm("Confirm", "Reset?"));
    answer.PressOnce(QMessageBox::No);
    EXPECT_FALSE(dialogs.Confirm("Confirm", "Reset?"));
    answer.PressOnce(QMessageBox::Ok);
    dialogs.PlainMessage("错误应答!");
    EXPECT_EQ(answer.caption, "Halvane[TR640控制软件 v0.3]");
    EXPECT_EQ(answer.text, "错误应答!");
}

}  // namespace
}  // namespace tr640
