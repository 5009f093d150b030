// SPDX-License-Identifier: GPL-3.0-or-later
// What the windows say and do around the values a person changes: the
// questions name what they ask about, a preset load carries its system
// settings, small keys and looks.

#include "MainWindowFixture.h"

#include "model/ParamText.h"
#include "ui/Unit14.h"

#include <QKeyEvent>
#include <QSpinBox>
#include <QTemporaryDir>

namespace tr640::testing {
namespace {

using Kind = ScriptedDialogs::Kind;
using WindowsTruthTest = MainWindowFixture;

constexpr int kGain3 = 0x010E;  // microphone 1, band 3, gain

// The label's text and colour for each state of the link, in the run's language.
TEST_F(WindowsTruthTest, TheLinkLabelSaysTheLinksStateInEveryStateAndBothLanguages) {
    const QColor grey(160, 160, 164), green(0, 128, 0), linked(0, 202, 0);
    const auto label = [this] {
        return std::pair{w().LinkLabel->text(), w().LinkLabel->palette().color(QPalette::Window)};
    };
    for (const int language : {kLanguageChinese, kLanguageEnglish}) {
        program->language() = language;
        const auto text = [language](const char* chinese) {
            return QString::fromStdString(Translate(language, chinese));
        };
        link().NoDevicePresent();  // no unit
        EXPECT_EQ(label(), std::pair(text("设备未连接"), grey));
        transport.SetSelected(true);
        link().DevicePresent();  // connecting
        EXPECT_EQ(label(), std::pair(text("连接中..."), green));
        Tick(linkWindow().Timer1, &TForm9::Timer1Timer);  // reading
        EXPECT_EQ(label().second, green);
        RunTransfer();  // linked
        EXPECT_EQ(label(), std::pair(text("设备已连接"), linked));
        dialogs->calls.clear();
        device.SetSilent(true);  // lost: the unit stops answering
        for (int n = 0; n < 200 && link().Status() != LinkStatus::NotLinked; ++n) TickHold();
        device.SetSilent(false);
        EXPECT_EQ(label(), std::pair(text("设备未连接"), grey));
        transport.SetSelected(false);
    }
    EXPECT_EQ(w().LinkLabel->text(), "OffLine");
}

// Changes made while no unit is linked wait in the window; the read of the
// next unit to link ends in one question about them, answered either way.
TEST_F(WindowsTruthTest, ChangesMadeOfflineAreKeptAndOfferedWhenAUnitLinks) {
    for (const bool send : {true, false}) {
        SCOPED_TRACE(send);
        link().NoDevicePresent();
        const std::uint16_t unitGain = device.Value(kGain3);
        Retype(w().Mic1GainEdit3, send ? "9" : "8");
        Key(w().Mic1GainEdit3, Qt::Key_Return);
        ASSERT_EQ(w().UnsentChanges().size(), 1u);
        EXPECT_TRUE(w().windowTitle().endsWith(QStringLiteral("1 项更改未发送到设备")));

        dialogs->calls.clear();
        dialogs->buttons.clear();
        dialogs->confirmAnswers = {send};
        transport.SetSelected(true);
        link().DevicePresent();
        Tick(linkWindow().Timer1, &TForm9::Timer1Timer);
        RunTransfer();
        for (int n = 0; n < 6; ++n) TickHold();
        const std::vector<QString> asked = dialogs->Texts(Kind::Confirm);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0], QStringLiteral("未连接时做的 1 项更改没有发送到设备：话筒1 EQ3 增益。"));
        ASSERT_EQ(dialogs->buttons.size(), 1u);
        EXPECT_EQ(Translate(kLanguageEnglish, dialogs->buttons[0].first.toStdString()).rfind("Send", 0), 0u);
        EXPECT_EQ(device.Value(kGain3), send ? 195 : unitGain);
        const QString unitText = QString::fromStdString(FormatParamValue(*FindParam("mic1.eq3.gain"), unitGain));
        EXPECT_EQ(w().Mic1GainEdit3->text(), send ? QStringLiteral("9.0dB") : unitText);
        EXPECT_TRUE(w().UnsentChanges().empty());
        EXPECT_EQ(w().windowTitle(), TForm1::Caption());
        device.SetValue(kGain3, unitGain);
        transport.SetSelected(false);
    }
}

TEST_F(WindowsTruthTest, AFileLoadedOfflineWaitsAsChangesAndConnectWithoutAUnitSaysSo) {
    QTemporaryDir folder;
    const QString path = folder.filePath("offline.Nddt");
    store().SetBoth(kGain3, 120);
    dialogs->pathAnswers = {path};
    Click(w().RzButton6);
    store().SetBoth(kGain3, 150);
    w().RefreshAll();
    link().NoDevicePresent();
    dialogs->calls.clear();
    dialogs->pathAnswers = {path};
    Click(w().RzButton4);
    EXPECT_EQ(w().UnsentChanges().count(kGain3), 1u);
    EXPECT_EQ(w().Mic1GainEdit3->text(), "-6.0dB");
    w().Undo();  // the load was one step, also offline
    EXPECT_EQ(w().Mic1GainEdit3->text(), QString::fromStdString(FormatParamValue(*FindParam("mic1.eq3.gain"), 150)));
    w().Redo();
    EXPECT_EQ(w().Mic1GainEdit3->text(), "-6.0dB");

    Click(w().LinkBtn);
    ASSERT_EQ(dialogs->Texts(Kind::Plain).size(), 1u);
    EXPECT_FALSE(dialogs->Texts(Kind::Plain)[0].contains('\n'));
    EXPECT_TRUE(dialogs->Texts(Kind::Plain)[0].contains("tr640ctl list"));
}

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
    store().SetBoth(kAddrNoiseGate, 1);  // level 2
    store().SetBoth(kAddrMasterVolume, 60);
    store().SetBoth(kAddrModeRecall, 4);  // a mode command's address: never sent
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
