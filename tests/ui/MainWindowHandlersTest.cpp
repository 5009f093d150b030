// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's handlers: bars, band type and bypass boxes, the system
// list boxes and their questions, mode recall and save, the EQ reset, the
// buttons, the page change, the refresh timer and RefreshAll.

#include "MainWindowFixture.h"

#include "model/ValueKinds.h"

#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

namespace tr640::testing {
namespace {

using Kind = ScriptedDialogs::Kind;
using HandlersTest = MainWindowFixture;

constexpr int kMic1Band2Type = 0x0107;
constexpr int kMic1Band2Gain = 0x0109;
constexpr int kMic1Band2QParametric = 0x010A;
constexpr int kMic1Band2QOther = 0x010B;

// --- Track bars ------------------------------------------------------------------------

TEST_F(HandlersTest, AGainBarShowsStoresAndSendsItsGainAndLeavesItsFieldCurrent) {
    Connect();
    w().Mic1GainBar2->setValue(160);
    EXPECT_EQ(w().Mic1GainEdit2->text(), "2.0dB");
    EXPECT_EQ(state().currentField, w().Mic1GainEdit2);
    EXPECT_EQ(store().Shown(kMic1Band2Gain), 160);
    EXPECT_EQ(store().Device(kMic1Band2Gain), 160);
    EXPECT_EQ(state().lastChange, (CurveChange{kMic1Band2Gain, 160}));
    EXPECT_EQ(WritesTo(kMic1Band2Gain), std::vector<std::uint16_t>{160});

    // The wheel now steps the gain.
    Wheel(w().Image1);
    EXPECT_EQ(w().Mic1GainEdit2->text(), "2.2dB");
    EXPECT_EQ(w().Mic1GainBar2->value(), 161);
}

TEST_F(HandlersTest, ATypedGainMovesItsBarWithoutASecondChange) {
    Connect();
    Click(w().Mic1GainEdit2);
    Pump();  // the field left behind has been acknowledged: the next change goes out at once
    QTest::keyClick(w().Mic1GainEdit2, Qt::Key_A, Qt::ControlModifier);
    Type(w().Mic1GainEdit2, "3");
    Key(w().Mic1GainEdit2, Qt::Key_Return);
    EXPECT_EQ(w().Mic1GainBar2->value(), 165);
    EXPECT_FALSE(state().trackGuard);
    // One change went out, and the moved bar did not queue an echo of it.
    EXPECT_EQ(WritesTo(kMic1Band2Gain), std::vector<std::uint16_t>{165});
    EXPECT_EQ(link().Vars().queue.count, 0);
}

TEST_F(HandlersTest, VolumeBarsLeaveNoFieldCurrent) {
    Connect();
    w().SysTotalVolBar->setValue(40);
    EXPECT_EQ(w().SysTotalVolEdit->text(), "40%");
    EXPECT_EQ(store().Shown(kAddrMasterVolume), 40);
    EXPECT_EQ(WritesTo(kAddrMasterVolume), std::vector<std::uint16_t>{40});
    EXPECT_EQ(state().currentField, w().Example);
    // The input volumes are not EQ values: no redraw is asked for.
    const CurveChange before = state().lastChange;
    w().Mic2INGainBar->setValue(120);
    EXPECT_EQ(w().Mic2INGainEdit->text(), "120%");
    EXPECT_EQ(store().Shown(kAddrMic2InputVolume), 120);
    EXPECT_EQ(state().lastChange, before);

    // A following wheel event steps nothing.
    EXPECT_TRUE(Wheel(w().Image1));
    EXPECT_EQ(w().Mic2INGainEdit->text(), "120%");
    EXPECT_EQ(w().SysTotalVolEdit->text(), "40%");
}

// --- Band type and bypass ------------------------------------------------------------------

TEST_F(HandlersTest, BandTypeChangeSendsTheTypeAndShowsTheQThatNowApplies) {
    store().SetBoth(kMic1Band2QParametric, 49);  // "4.00"
    store().SetBoth(kMic1Band2QOther, 25);       // "1.00"
    Choose(w().Mic1ModeBox2, 1);                 // low shelf
    EXPECT_EQ(store().Shown(kMic1Band2Type), 1);
    EXPECT_EQ(w().Mic1QEdit2->text(), "1.00");
    EXPECT_EQ(state().currentField, w().Mic1QEdit2);
    EXPECT_EQ(state().lastChange, (CurveChange{kMic1Band2Type, 1}));
    EXPECT_TRUE(dialogs->calls.empty());

    Choose(w().Mic1ModeBox2, 0);  // back to parametric
    EXPECT_EQ(store().Shown(kMic1Band2Type), 0);
    EXPECT_EQ(w().Mic1QEdit2->text(), "4.00");

    // On a bypassed band the type goes out plus 10, and even the
    // parametric item uses the other types' Q.
    Click(w().Mic1BypassCheck2);
    Choose(w().Mic1ModeBox2, 3);
    EXPECT_EQ(store().Shown(kMic1Band2Type), 13);
    Choose(w().Mic1ModeBox2, 0);
    EXPECT_EQ(store().Shown(kMic1Band2Type), 10);
    EXPECT_EQ(w().Mic1QEdit2->text(), "1.00");
}

TEST_F(HandlersTest, BypassAddsOrTakesOffTenAndDisarmsTheWheel) {
    Choose(w().Mic1ModeBox2, 2);
    Click(w().Mic1BypassCheck2);
    EXPECT_TRUE(w().Mic1BypassCheck2->isChecked());
    EXPECT_EQ(store().Shown(kMic1Band2Type), 12);
    EXPECT_EQ(store().Device(kMic1Band2Type), 12);
    EXPECT_FALSE(state().wheelArmed);
    EXPECT_EQ(state().lastChange, (CurveChange{kMic1Band2Type, 12}));
    Click(w().Mic1BypassCheck2);
    EXPECT_EQ(store().Shown(kMic1Band2Type), 2);
    EXPECT_EQ(state().lastChange, (CurveChange{kMic1Band2Type, 2}));
}

// --- System list boxes ---------------------------------------------------------------------

TEST_F(HandlersTest, SystemBoxesAskFirstAndRevertOnNo) {
    Choose(w().SysNoiseBox, 2);
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].kind, Kind::Confirm);
    EXPECT_EQ(dialogs->calls[0].caption, "Confirm");
    EXPECT_EQ(dialogs->calls[0].text, "PowerEX 选择:3级?");
    EXPECT_EQ(store().Shown(kAddrNoiseGate), 2);

    dialogs->confirmAnswers = {false};
    Choose(w().SysNoiseBox, 5);
    EXPECT_EQ(w().SysNoiseBox->currentIndex(), 2);
    EXPECT_EQ(store().Shown(kAddrNoiseGate), 2);
    EXPECT_EQ(dialogs->calls.size(), 2u);  // the revert asked nothing

    // The same question for every one of these boxes.
    dialogs->confirmAnswers = {true, false, true, false};
    Choose(w().SysFBEBox, 0);
    Choose(w().MICBASSBox, 4);
    Choose(w().Mic1PhaseBox, 0);
    Choose(w().Mic2PhaseBox, 0);
    const auto texts = dialogs->Texts(Kind::Confirm);
    EXPECT_EQ(std::vector<QString>(texts.begin() + 2, texts.end()),
              (std::vector<QString>{"PowerEX 选择:OFF?", "PowerEX 选择:5?", "PowerEX 选择:正向?",
                                    "PowerEX 选择:正向?"}));
    EXPECT_EQ(store().Shown(kAddrAntiFeedback), 0);
    EXPECT_EQ(Text(w().MICBASSBox), "2");
    EXPECT_EQ(store().Shown(kAddrMic1Phase), 0);
    EXPECT_EQ(Text(w().Mic2PhaseBox), "反向");
}

TEST_F(HandlersTest, ModeBoxesDoNothingWhileNotLinkedAndIdleAndSaySo) {
    Choose(w().SysModeBox, 3);
    Choose(w().SysSaveModeBox, 4);
    EXPECT_EQ(dialogs->Texts(Kind::Plain),
              (std::vector<QString>{"设备未连接或正忙：没有调用模式。", "设备未连接或正忙：没有保存模式。"}));
    EXPECT_TRUE(dialogs->Texts(Kind::Confirm).empty());
    EXPECT_EQ(Text(w().SysModeBox), "用户2");  // back to the stored mode: nothing was recalled
    EXPECT_EQ(store().Shown(kAddrModeRecall), 1);
    EXPECT_EQ(store().Shown(kAddrModeSave), 1);

    Connect();
    link().ReadAll();  // busy reading
    Choose(w().SysModeBox, 1);
    RunTransfer();
    link().SuppressSends(true);
    Choose(w().SysModeBox, 2);
    link().SuppressSends(false);
    EXPECT_EQ(dialogs->Texts(Kind::Plain).size(), 2u);
    EXPECT_TRUE(dialogs->Texts(Kind::Confirm).empty());
    EXPECT_TRUE(WritesTo(kAddrModeRecall).empty());
}

TEST_F(HandlersTest, ModeRecallAsksAndSendsOrReverts) {
    Connect();
    const int stored = store().Shown(kAddrModeRecall);
    dialogs->confirmAnswers = {false};
    Choose(w().SysModeBox, 3);
    EXPECT_EQ(dialogs->calls.back().text, "模式切换为用户4?");
    EXPECT_EQ(dialogs->calls.back().caption, "Confirm");
    EXPECT_EQ(w().SysModeBox->currentIndex(), stored);
    EXPECT_TRUE(WritesTo(kAddrModeRecall).empty());

    Choose(w().SysModeBox, 2);
    EXPECT_EQ(dialogs->calls.back().text, "模式切换为用户3?");
    EXPECT_EQ(WritesTo(kAddrModeRecall), std::vector<std::uint16_t>{2});
    EXPECT_EQ(w().LinkLabel->text(), "调用等待中...");
    EXPECT_TRUE(link().ModeWaiting());
}

TEST_F(HandlersTest, ModeSaveShowsSavingAndWaitsForTheDevice) {
    Connect();
    dialogs->confirmAnswers = {false};
    Choose(w().SysSaveModeBox, 1);
    EXPECT_EQ(dialogs->calls.back().text, "保存当前模式为 用户2?");
    EXPECT_EQ(w().SysSaveModeBox->currentIndex(), store().Shown(kAddrModeSave));
    EXPECT_TRUE(WritesTo(kAddrModeSave).empty());

    Choose(w().SysSaveModeBox, 4);
    EXPECT_EQ(dialogs->calls.back().text, "保存当前模式为 用户5?");
    EXPECT_EQ(WritesTo(kAddrModeSave), std::vector<std::uint16_t>{4});
    EXPECT_EQ(w().LinkLabel->text(), "保存中...");
    EXPECT_EQ(Hint(w().LinkLabel), "Saving...");
    EXPECT_TRUE(link().ModeWaiting());
    EXPECT_EQ(link().Status(), LinkStatus::Saving);
    EXPECT_FALSE(link().Linked());
    EXPECT_EQ(link().Vars().retryCount, 0);

    // The device's acknowledgement ends the wait with the link's message.
    for (int n = 0; n < 5 && dialogs->Texts(Kind::Message).empty(); ++n) TickHold();
    EXPECT_EQ(dialogs->Texts(Kind::Message), std::vector<QString>{"保存成功!"});
    EXPECT_EQ(link().Vars().linkState, kLinkedIdle);
}

// --- EQ reset ----------------------------------------------------------------------------

TEST_F(HandlersTest, EqResetAsksThenResetsOnlyTheShownMicrophone) {
    w().Mic1GainBar1->setValue(170);
    w().Mic2GainBar1->setValue(180);
    dialogs->confirmAnswers = {false};
    Click(w().MusEQAllPassBtn);
    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_EQ(dialogs->calls[0].caption, "提示");
    EXPECT_EQ(dialogs->calls[0].text, "确定要复位EQ？");
    EXPECT_EQ(w().Mic1GainEdit1->text(), "4.0dB");

    Click(w().MusEQAllPassBtn);
    EXPECT_EQ(w().Mic1GainEdit1->text(), "0.0dB");
    EXPECT_EQ(store().Shown(BandAddress(0, 0, kSlotGain)), 150);
    EXPECT_EQ(w().Mic2GainEdit1->text(), "6.0dB");
    EXPECT_EQ(store().Shown(BandAddress(1, 0, kSlotGain)), 180);
    EXPECT_EQ(state().currentField, w().Mic1FreEdit1);

    // With microphone 2 shown, microphone 2 is reset and its field selected.
    QTest::mouseClick(w().AdvPageControl2->tabBar(), Qt::LeftButton, {},
                      w().AdvPageControl2->tabBar()->tabRect(1).center());
    Click(w().MusEQAllPassBtn);
    EXPECT_EQ(w().Mic2GainEdit1->text(), "0.0dB");
    EXPECT_EQ(state().currentField, w().Mic2FreEdit1);
}

TEST_F(HandlersTest, EqResetWhileLinkedSendsTheShownMicrophonesTwentyFiveValues) {
    Connect();
    const std::int32_t mic2Gain = store().Shown(BandAddress(1, 2, kSlotGain));
    Click(w().MusEQAllPassBtn);
    for (int n = 0; n < 80 && link().Vars().queue.count > 0; ++n) TickHold();
    for (int band = 0; band < 5; ++band) {
        for (int slot = 0; slot < 5; ++slot) {
            const int address = BandAddress(0, band, slot);
            EXPECT_EQ(device.Value(static_cast<std::uint16_t>(address)), EqBandDefault(band, slot)) << address;
        }
    }
    EXPECT_EQ(store().Shown(BandAddress(1, 2, kSlotGain)), mic2Gain);
    EXPECT_TRUE(WritesTo(BandAddress(1, 2, kSlotGain)).empty());
}

// --- Buttons ------------------------------------------------------------------------------

TEST_F(HandlersTest, CurveAndPresetButtonsCallWhatIsBehindThem) {
    std::vector<int> opened;
    std::vector<QString> presets;
    w().SetCompressorOpener([&opened](int band) { opened.push_back(band); });
    w().SetPresetFlows([&presets] { presets.push_back("load"); }, [&presets] { presets.push_back("save"); });
    w().AdvPageControl1->setCurrentIndex(1);
    Click(w().RzButton1);
    Click(w().RzButton3);
    Click(w().RzButton2);
    EXPECT_EQ(opened, (std::vector<int>{0, 2, 1}));
    w().AdvPageControl1->setCurrentIndex(0);
    Click(w().RzButton6);
    Click(w().RzButton4);
    EXPECT_EQ(presets, (std::vector<QString>{"save", "load"}));

    // "退出" does nothing at all.
    const CurveChange change = state().lastChange;
    w().AdvPageControl1->setCurrentIndex(1);
    Click(w().RzButton8);
    EXPECT_TRUE(w().isVisible());
    EXPECT_EQ(state().lastChange, change);
    EXPECT_TRUE(dialogs->calls.empty());
}

TEST_F(HandlersTest, LinkButtonStartsAConnection) {
    transport.SetSelected(true);
    link().DevicePresent();
    linkWindow().Timer1->stop();
    Click(w().LinkBtn);
    EXPECT_TRUE(linkWindow().Timer1->isActive());
    Tick(linkWindow().Timer1, &TForm9::Timer1Timer);
    RunTransfer();
    EXPECT_EQ(link().Vars().linkState, kLinkedIdle);
    EXPECT_EQ(w().LinkLabel->text(), "设备已连接");
}

// --- Microphone page ------------------------------------------------------------------------

TEST_F(HandlersTest, ChangingTheMicrophonePageSelectsItsFirstBandAndRedrawsIt) {
    QTabBar* tabs = w().AdvPageControl2->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(state().activeMic, 1);
    EXPECT_EQ(state().currentField, w().Mic2FreEdit1);
    EXPECT_EQ(state().lastChange, (CurveChange{0x011C, 30}));
    w().Timer1Timer();
    EXPECT_EQ(graph.draws.back(), (RecordingGraph::Draw{0, 1}));

    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    EXPECT_EQ(state().activeMic, 0);
    EXPECT_EQ(state().currentField, w().Mic1FreEdit1);
    w().Timer1Timer();
    EXPECT_EQ(graph.draws.back(), (RecordingGraph::Draw{0, 0}));
}

// --- Refresh timer -------------------------------------------------------------------------

TEST_F(HandlersTest, TheRefreshTimerRedrawsOnceForEachNewBandChange) {
    w().Timer1Timer();  // the start-up selection
    const std::size_t draws = graph.draws.size();

    w().SysTotalVolBar->setValue(30);  // page 0: no band
    w().Timer1Timer();
    w().AdvPageControl1->setCurrentIndex(1);
    Retype(w().LowRMSattackEdit, "20");  // dynamics: no band either
    Key(w().LowRMSattackEdit, Qt::Key_Return);
    w().Timer1Timer();
    EXPECT_EQ(graph.draws.size(), draws);
    w().AdvPageControl1->setCurrentIndex(0);

    w().Mic1GainBar5->setValue(100);
    w().Timer1Timer();
    w().Timer1Timer();
    ASSERT_EQ(graph.draws.size(), draws + 1);
    EXPECT_EQ(graph.draws.back(), (RecordingGraph::Draw{4, 0}));
    EXPECT_EQ(state().lastDrawn, (CurveChange{BandAddress(0, 4, kSlotGain), 100}));

    // Ending at the change drawn last draws nothing; microphone 2's band
    // draws on microphone 1's graph, as the band arithmetic resolves it.
    w().Mic1GainBar5->setValue(101);
    w().Mic1GainBar5->setValue(100);
    w().Timer1Timer();
    EXPECT_EQ(graph.draws.size(), draws + 1);
    w().Mic2GainBar3->setValue(120);
    w().Timer1Timer();
    EXPECT_EQ(graph.draws.back(), (RecordingGraph::Draw{2, 0}));
    EXPECT_FALSE(w().Timer1->isActive());  // drawn, and no handle held
    EXPECT_EQ(graph.dragSteps, 7);  // every tick offers the drag its step
}

TEST_F(HandlersTest, TheRefreshTimerRunsOnlyWhileABandChangeWaitsOrAHandleIsHeld) {
    w().Timer1Timer();  // draws the start-up selection; nothing is left
    EXPECT_FALSE(w().Timer1->isActive());
    w().SysTotalVolBar->setValue(30);  // page 0: nothing to draw
    EXPECT_FALSE(w().Timer1->isActive());
    w().Mic1GainBar2->setValue(120);
    EXPECT_TRUE(w().Timer1->isActive());
    w().Timer1Timer();
    EXPECT_FALSE(w().Timer1->isActive());

    QTest::mousePress(w().EP2, Qt::LeftButton);
    EXPECT_TRUE(w().Timer1->isActive());
    graph.dragWork = true;  // the handle is held
    w().Timer1Timer();
    w().Timer1Timer();
    EXPECT_TRUE(w().Timer1->isActive());
    graph.dragWork = false;  // released, its last values applied
    w().Timer1Timer();
    EXPECT_FALSE(w().Timer1->isActive());
}

TEST_F(HandlersTest, BandHandlesPassTheirMouseToTheGraph) {
    QTest::mousePress(w().EP2, Qt::LeftButton);
    QTest::mouseMove(w().EP2, QPoint(3, 4));
    QTest::mouseRelease(w().EP2, Qt::LeftButton);
    QTest::mouseClick(w().EP6, Qt::LeftButton);  // only EP1 .. EP5 carry handlers
    using E = std::pair<QString, QEvent::Type>;
    EXPECT_EQ(graph.handleEvents, (std::vector<E>{{"EP2", QEvent::MouseButtonPress},
                                                  {"EP2", QEvent::MouseMove},
                                                  {"EP2", QEvent::MouseButtonRelease}}));
}

// --- RefreshAll ------------------------------------------------------------------------------

TEST_F(HandlersTest, RefreshAllShowsTheDeviceImageWithoutRunningAnyHandler) {
    Connect();
    store().SetDevice(kMic1Band2Type, 12);
    store().SetDevice(BandAddress(1, 3, kSlotType), 2);
    store().SetDevice(kAddrNoiseGate, 6);
    store().SetDevice(kAddrModeRecall, 4);
    store().SetDevice(kAddrMasterVolume, 250);
    store().SetDevice(BandAddress(0, 0, kSlotFrequency), 1);
    const CurveChange change = state().lastChange;
    const std::size_t draws = graph.draws.size();
    QLineEdit* current = state().currentField;

    w().RefreshAll();
    EXPECT_EQ(Text(w().Mic1ModeBox2), "高棚架");
    EXPECT_TRUE(w().Mic1BypassCheck2->isChecked());
    EXPECT_EQ(Text(w().Mic2ModeBox4), "高棚架");
    EXPECT_FALSE(w().Mic2BypassCheck4->isChecked());
    EXPECT_EQ(Text(w().SysNoiseBox), "7级");
    EXPECT_EQ(Text(w().SysModeBox), "用户5");
    EXPECT_EQ(w().SysTotalVolEdit->text(), "200%");
    EXPECT_EQ(w().SysTotalVolBar->value(), 100);
    EXPECT_EQ(w().Mic1FreEdit1->text(), "1.0Hz");  // shown as stored, unclamped

    EXPECT_TRUE(dialogs->calls.empty());
    EXPECT_TRUE(device.WriteLog().empty());
    EXPECT_EQ(state().lastChange, change);
    EXPECT_EQ(graph.draws.size(), draws + 1);
    EXPECT_EQ(graph.draws.back(), (RecordingGraph::Draw{TForm1::kNoBand, 0}));
    EXPECT_EQ(link().Vars().sendSuppressed, 0);
    EXPECT_FALSE(state().refreshInProgress);
    // The frequency rule makes the refreshed frequency and crossover fields
    // current in turn; the last of them is the high crossover.
    EXPECT_NE(state().currentField, current);
    EXPECT_EQ(state().currentField, w().MICHighFreEdit);
}

}  // namespace
}  // namespace tr640::testing
