// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program (main window, link window, status window) connected to
// a virtual TR640, driven by the link's tick handlers.

#include "MainWindowFixture.h"

#include "ui/Unit14.h"

namespace tr640::testing {
namespace {

using Kind = ScriptedDialogs::Kind;
using ProgramTest = MainWindowFixture;

TEST_F(ProgramTest, TheDevicesValuesAppearInTheControlsAfterTheConnectRead) {
    Connect();
    // Microphone 1: a high-pass first band, a 1 kHz third band.
    EXPECT_EQ(Text(w().Mic1ModeBox1), "高通");
    EXPECT_EQ(w().Mic1FreEdit1->text(), "100.0Hz");
    EXPECT_EQ(w().Mic1FreEdit3->text(), "1000.0Hz");
    EXPECT_EQ(w().Mic1GainEdit2->text(), "-2.0dB");
    EXPECT_EQ(w().Mic1GainBar2->value(), 140);
    EXPECT_EQ(w().Mic1QEdit1->text(), "0.67");  // a high pass uses slot 4: raw 18
    EXPECT_EQ(w().Mic1QEdit3->text(), "3.00");  // a parametric band slot 3: raw 44
    EXPECT_EQ(Text(w().Mic2ModeBox5), "低通");
    EXPECT_EQ(w().Mic2FreEdit5->text(), "12000.0Hz");
    // System, inputs and dynamics.
    EXPECT_EQ(Text(w().SysNoiseBox), "4级");
    EXPECT_EQ(Text(w().SysFBEBox), "2级");
    EXPECT_EQ(w().SysTotalVolEdit->text(), "80%");
    EXPECT_EQ(w().SysTotalVolBar->value(), 80);
    EXPECT_EQ(w().Mic2INGainEdit->text(), "110%");
    EXPECT_EQ(Text(w().Mic1PhaseBox), "正向");
    EXPECT_EQ(Text(w().MICBASSBox), "3");
    EXPECT_EQ(w().MICLowFreEdit->text(), "150.0Hz");
    EXPECT_EQ(w().MICHighFreEdit2->text(), "3000.0Hz");
    EXPECT_EQ(w().MidRMSattackEdit->text(), "10.0ms");
    EXPECT_EQ(w().LowRMSReleaseEdit->text(), "Atk x 8");

    EXPECT_EQ(w().LinkLabel->text(), "设备已连接");
    EXPECT_EQ(w().LinkLabel->palette().color(QPalette::Window), QColor(0, 202, 0));
    EXPECT_FALSE(program->statusWindow().isVisible());
    // The end of the read selects the first band of the shown microphone.
    EXPECT_EQ(state().currentField, w().Mic1FreEdit1);
    EXPECT_EQ(store().Shown(0x0100), 0x1100);  // kept though no control shows it
}

TEST_F(ProgramTest, MovingAGainBarPutsTheValueInTheDevicesMemory) {
    Connect();
    w().Mic1GainBar3->setValue(170);
    Pump();
    EXPECT_EQ(device.Value(0x010E), 170);
    // A drag: many positions while the device is answering the first.
    for (int v = 171; v <= 180; ++v) w().Mic1GainBar3->setValue(v);
    for (int n = 0; n < 10; ++n) TickHold();
    EXPECT_EQ(device.Value(0x010E), 180);
    EXPECT_EQ(w().Mic1GainEdit3->text(), "6.0dB");
    EXPECT_EQ(link().Vars().linkState, kLinkedIdle);
}

TEST_F(ProgramTest, TypedValuesReachTheDeviceButASelectionSendsNothing) {
    Connect();
    Click(w().Mic1QEdit3);
    Pump();
    device.ClearWriteLog();
    Click(w().Mic1GainEdit1);  // leaving the Q field re-sends it; selecting sends nothing
    Pump();
    EXPECT_EQ(WritesTo(BandAddress(0, 2, kSlotQ)), std::vector<std::uint16_t>{44});
    EXPECT_TRUE(WritesTo(BandAddress(0, 0, kSlotGain)).empty());

    QTest::keyClick(w().Mic1GainEdit1, Qt::Key_A, Qt::ControlModifier);
    Type(w().Mic1GainEdit1, "-12");
    Key(w().Mic1GainEdit1, Qt::Key_Return);
    Pump();
    EXPECT_EQ(device.Value(BandAddress(0, 0, kSlotGain)), 90);
}

TEST_F(ProgramTest, RecallingAModeReloadsPageOne) {
    Connect();
    w().Mic1GainBar2->setValue(160);  // the gain field is current now
    Pump();
    Choose(w().SysModeBox, 2);  // user mode 3
    EXPECT_EQ(dialogs->Texts(Kind::Confirm), std::vector<QString>{"模式切换为用户3?"});
    EXPECT_EQ(w().LinkLabel->text(), "调用等待中...");
    EXPECT_TRUE(program->statusWindow().isVisible());

    // The acknowledgement starts the reload; its end refreshes the windows.
    for (int n = 0; n < 5 && !linkWindow().Timer2->isActive(); ++n) TickHold();
    ASSERT_TRUE(linkWindow().Timer2->isActive());
    EXPECT_EQ(w().LinkLabel->text(), "加载中...");
    RunTransfer();
    EXPECT_EQ(link().Vars().linkState, kLinkedIdle);
    EXPECT_FALSE(program->statusWindow().isVisible());
    EXPECT_EQ(w().LinkLabel->text(), "设备已连接");
    // Mode 3 moves every band's frequency up by 30 % and sets its own gains.
    EXPECT_EQ(w().Mic1FreEdit3->text(), "1300.0Hz");
    EXPECT_EQ(w().Mic1GainEdit1->text(), "3.6dB");
    EXPECT_EQ(w().Mic1INGainEdit->text(), "130%");
    EXPECT_EQ(Text(w().MICBASSBox), "4");
    EXPECT_EQ(store().Shown(BandAddress(0, 2, kSlotFrequency)), 1300);
    // The end of the reload selects the shown microphone's first band.
    EXPECT_EQ(state().currentField, w().Mic1FreEdit1);
}

TEST_F(ProgramTest, LosingTheDeviceLeavesTheWindowsWorking) {
    Connect();
    device.SetSilent(true);
    for (int n = 0; n < 60 && dialogs->Texts(Kind::Message).empty(); ++n) TickHold();
    EXPECT_EQ(dialogs->Texts(Kind::Message), std::vector<QString>{"已断开连接!"});
    EXPECT_NE(link().Vars().linkState, kLinkedIdle);

    // Changes now stay in the store.
    w().Mic1GainBar1->setValue(200);
    EXPECT_EQ(store().Device(BandAddress(0, 0, kSlotGain)), 200);
    EXPECT_NE(device.Value(static_cast<std::uint16_t>(BandAddress(0, 0, kSlotGain))), 200);
}

TEST_F(ProgramTest, CurveButtonsOpenTheCompressorWindowAndPresetButtonsTheFileDialogs) {
    TForm14& compressor = program->compressorWindow();
    EXPECT_FALSE(compressor.isVisible());
    w().AdvPageControl1->setCurrentIndex(1);
    Click(w().RzButton3);
    EXPECT_TRUE(compressor.isVisible());
    EXPECT_EQ(compressor.windowTitle(), "高音 Compressor");
    compressor.hide();
    w().AdvPageControl1->setCurrentIndex(0);

    // Both preset buttons go through the dialog seam; cancelled, nothing happens.
    Click(w().RzButton6);
    Click(w().RzButton4);
    ASSERT_EQ(dialogs->calls.size(), 2u);
    EXPECT_EQ(dialogs->calls[0].kind, Kind::SaveFile);
    EXPECT_EQ(dialogs->calls[1].kind, Kind::OpenFile);
    EXPECT_EQ(dialogs->calls[0].caption, "*.Nddt");
}

// Left alone, the caret stops blinking (no wake-ups for a field nobody
// looks at); the next key brings the blink back.
TEST_F(ProgramTest, TheCaretRestsWhenNobodyTouchesTheProgramAndBlinksAgainAtAKey) {
    CaretRest& rest = program->caretRest();
    const int blink = QApplication::cursorFlashTime();
    ASSERT_GT(blink, 0);
    EXPECT_TRUE(rest.RestTimer().isActive());
    rest.Rest();
    EXPECT_EQ(QApplication::cursorFlashTime(), 0);
    QTest::keyClick(w().Mic1FreEdit2, Qt::Key_Left);
    EXPECT_EQ(QApplication::cursorFlashTime(), blink);
    EXPECT_FALSE(rest.Resting());
    EXPECT_TRUE(rest.RestTimer().isActive());
}

}  // namespace
}  // namespace tr640::testing
