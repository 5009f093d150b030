// SPDX-License-Identifier: GPL-3.0-or-later
// What the windows say and do around the values a person changes: the
// questions name what they ask about, a preset load carries its system
// settings, small keys and looks.

#include "MainWindowFixture.h"

#include "ui/Unit14.h"

#include <QKeyEvent>
#include <QSpinBox>
#include <QTemporaryDir>

namespace tr640::testing {
namespace {

using Kind = ScriptedDialogs::Kind;
using WindowsTruthTest = MainWindowFixture;

TEST_F(WindowsTruthTest, ListQuestionsNameTheirBoxInEnglishAndStayAsTheyWereInChinese) {
    Connect();
    Choose(w().SysNoiseBox, 1);
    ASSERT_EQ(dialogs->Texts(Kind::Confirm).size(), 1u);
    EXPECT_EQ(dialogs->Texts(Kind::Confirm)[0], QStringLiteral("PowerEX 选择:2级?"));

    program->language() = kLanguageEnglish;
    dialogs->confirmAnswers = {false, false, false};
    Choose(w().SysNoiseBox, 2);
    Choose(w().Mic1PhaseBox, 1);
    Choose(w().SysFBEBox, 3);
    const std::vector<QString> asked = dialogs->Texts(Kind::Confirm);
    ASSERT_EQ(asked.size(), 4u);
    // The items stay in the window's build language; the names follow the run's.
    EXPECT_EQ(asked[1], QStringLiteral("Noise gate: 3级?"));
    EXPECT_EQ(asked[2], QStringLiteral("Mic 1 phase: 反向?"));
    EXPECT_EQ(asked[3], QStringLiteral("Anti-feedback: 3级?"));
}

TEST_F(WindowsTruthTest, TheEnglishResetQuestionNamesTheMicrophone) {
    program->language() = kLanguageEnglish;
    dialogs->confirmAnswers = {false, false};
    w().AdvPageControl2->setCurrentIndex(1);
    Click(w().MusEQAllPassBtn);
    EXPECT_EQ(dialogs->Texts(Kind::Confirm).back(), "Reset the EQ of Mic 2?");
}

TEST_F(WindowsTruthTest, ALoadSendsTheFilesSystemSettingsAfterThePageOneWriteAndSaysSo) {
    Connect();
    QTemporaryDir folder;
    const QString path = folder.filePath("gate2.Nddt");
    store().SetBoth(kAddrNoiseGate, 1);      // level 2
    store().SetBoth(kAddrMasterVolume, 60);
    store().SetBoth(kAddrModeRecall, 4);     // a mode command's address: never sent
    dialogs->pathAnswers = {path};
    Click(w().RzButton6);
    // The unit and the windows move on: level 4, volume 90.
    Choose(w().SysNoiseBox, 3);
    w().SysTotalVolBar->setValue(90);
    for (int n = 0; n < 6; ++n) TickHold();
    ASSERT_EQ(device.Value(kAddrNoiseGate), 3);
    device.ClearWriteLog();
    dialogs->calls.clear();

    dialogs->pathAnswers = {path};
    Click(w().RzButton4);
    EXPECT_TRUE(WritesTo(kAddrNoiseGate).empty());  // nothing of page 0 during the write
    RunTransfer();
    for (int n = 0; n < 6; ++n) TickHold();
    EXPECT_EQ(device.Value(kAddrNoiseGate), 1);
    EXPECT_EQ(device.Value(kAddrMasterVolume), 60);
    EXPECT_TRUE(WritesTo(kAddrModeRecall).empty());
    EXPECT_TRUE(WritesTo(kAddrModeSave).empty());
    EXPECT_EQ(Text(w().SysNoiseBox), QStringLiteral("2级"));
    EXPECT_EQ(w().SysTotalVolEdit->text(), "60%");
    const std::vector<QString> messages = dialogs->Texts(Kind::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("预设已加载："))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].endsWith("gate2.Nddt"));
}

TEST_F(WindowsTruthTest, EscHidesTheCompressorWindowAndTheMasterVolumeLooksReadOnly) {
    TForm14& compressor = program->compressorWindow();
    w().AdvPageControl1->setCurrentIndex(1);
    Click(w().RzButton1);
    ASSERT_TRUE(compressor.isVisible());
    QTest::keyClick(compressor.RzSpinEdit1, Qt::Key_Escape);
    EXPECT_FALSE(compressor.isVisible());

    EXPECT_TRUE(w().SysTotalVolEdit->isReadOnly());
    const QPalette look = w().SysTotalVolEdit->palette();
    EXPECT_EQ(look.color(QPalette::Base), look.color(QPalette::Window));
}

}  // namespace
}  // namespace tr640::testing
