// SPDX-License-Identifier: GPL-3.0-or-later
// What a DSP editor's user reaches for: undo and redo of every kind of
// change reaching the unit, A/B compare, copying a microphone's EQ, the
// menu's keys and the tooltips from the parameter catalogue.

#include "MainWindowFixture.h"

#include "model/CompressorCurve.h"
#include "model/ParamCatalogue.h"
#include "model/ParamText.h"
#include "ui/ControlTips.h"
#include "ui/Unit14.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>

#include <set>

namespace tr640::testing {
namespace {

using Kind = ScriptedDialogs::Kind;
class EditingTest : public MainWindowFixture {
protected:
    // Every waiting change out and answered.
    void Settle() {
        for (int n = 0; n < 400 && link().Vars().queue.count != 0; ++n) TickHold();
        for (int n = 0; n < 4; ++n) TickHold();
    }
};

constexpr int kGain3 = 0x010E;  // microphone 1, band 3, gain

TEST_F(EditingTest, CtrlZRightAfterEnterUndoesTheTypedValueOnTheUnitAndRedoBringsItBack) {
    Connect();
    const std::uint16_t before = device.Value(kGain3);
    const QString shown = w().Mic1GainEdit3->text();
    Retype(w().Mic1GainEdit3, "6");
    Key(w().Mic1GainEdit3, Qt::Key_Return);
    Settle();
    ASSERT_EQ(device.Value(kGain3), 180);

    QTest::keyClick(w().Mic1GainEdit3, Qt::Key_Z, Qt::ControlModifier);
    Settle();
    EXPECT_EQ(device.Value(kGain3), before);
    EXPECT_EQ(w().Mic1GainEdit3->text(), shown);

    QTest::keyClick(w().Mic1GainEdit3, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    Settle();
    EXPECT_EQ(device.Value(kGain3), 180);
    QTest::keyClick(w().Mic1GainEdit3, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(w().Mic1GainEdit3, Qt::Key_Y, Qt::ControlModifier);
    Settle();
    EXPECT_EQ(device.Value(kGain3), 180);
}

TEST_F(EditingTest, AWheelRunAndABarDragAreOneStepEachAndEveryKindOfChangeUndoes) {
    Connect();
    const ParamStore start = store();
    Click(w().Mic1GainEdit3);
    for (int n = 0; n < 5; ++n) Wheel(w().Mic1GainEdit3);
    w().Mic1GainBar2->setSliderDown(true);
    for (int v = 150; v <= 160; ++v) w().Mic1GainBar2->setValue(v);
    w().Mic1GainBar2->setSliderDown(false);
    Click(w().Mic1BypassCheck4);
    Choose(w().Mic1ModeBox5, 2);
    Choose(w().SysNoiseBox, 6);  // confirmed: the dialogs say yes
    Click(w().MusEQAllPassBtn);  // the reset of microphone 1
    Settle();
    ASSERT_NE(device.Value(kAddrNoiseGate), start.Shown(kAddrNoiseGate));
    ASSERT_NE(device.Value(BandAddress(0, 0, kSlotType)), start.Shown(BandAddress(0, 0, kSlotType)));

    // Reset, list box, type box, bypass, bar drag, wheel run: six steps.
    for (int n = 0; n < 6; ++n) w().Undo();
    Settle();
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.format == ParamFormat::Command) continue;
        EXPECT_EQ(store().Shown(e.address), start.Shown(e.address)) << e.name;
        EXPECT_EQ(device.Value(e.address), start.Shown(e.address)) << e.name;
    }
    EXPECT_FALSE(w().History().Stack().canUndo());
}

TEST_F(EditingTest, ALoadIsOneUndoStepWithItsSystemSettings) {
    Connect();
    QTemporaryDir folder;
    const QString path = folder.filePath("load.Nddt");
    store().SetBoth(kGain3, 120);
    store().SetBoth(kAddrNoiseGate, 1);
    dialogs->pathAnswers = {path};
    Click(w().RzButton6);
    Retype(w().Mic1GainEdit3, "6");
    Key(w().Mic1GainEdit3, Qt::Key_Return);
    Choose(w().SysNoiseBox, 5);
    Settle();
    ASSERT_EQ(device.Value(kGain3), 180);
    ASSERT_EQ(device.Value(kAddrNoiseGate), 5);

    dialogs->pathAnswers = {path};
    Click(w().RzButton4);
    RunTransfer();
    Settle();
    ASSERT_EQ(device.Value(kGain3), 120);
    ASSERT_EQ(device.Value(kAddrNoiseGate), 1);
    w().Undo();
    Settle();
    EXPECT_EQ(device.Value(kGain3), 180);
    EXPECT_EQ(device.Value(kAddrNoiseGate), 5);
    EXPECT_EQ(w().Mic1GainEdit3->text(), "6.0dB");
    w().Redo();
    Settle();
    EXPECT_EQ(device.Value(kGain3), 120);
    EXPECT_EQ(device.Value(kAddrNoiseGate), 1);
}

TEST_F(EditingTest, CopyingAMicrophonesEqGoesBothWaysInOneStep) {
    Connect();
    const std::uint16_t mic2Gain = device.Value(BandAddress(1, 2, kSlotGain));
    w().CopyEq(0, 1);
    Settle();
    for (int band = 0; band < kBandsPerMic; ++band)
        for (int slot = 0; slot < kSlotsPerBand; ++slot)
            EXPECT_EQ(device.Value(BandAddress(1, band, slot)), device.Value(BandAddress(0, band, slot)));
    w().Undo();
    Settle();
    EXPECT_EQ(device.Value(BandAddress(1, 2, kSlotGain)), mic2Gain);
    EXPECT_FALSE(w().History().Stack().canUndo());

    w().CopyEq(1, 0);
    Settle();
    EXPECT_EQ(device.Value(kGain3), mic2Gain);
}

TEST_F(EditingTest, AnABSwitchSendsOnlyTheValuesThatDifferAndIsOneUndoStep) {
    Connect();
    dialogs->calls.clear();
    w().SwitchCompareAction->trigger();  // nothing stored yet: it says so
    EXPECT_EQ(dialogs->Texts(Kind::Plain).size(), 1u);

    const std::uint16_t gainA = device.Value(kGain3);
    const std::uint16_t volumeA = device.Value(kAddrMic2InputVolume);
    w().StoreCompare(0);
    w().Mic1GainBar3->setValue(170);
    w().Mic2INGainBar->setValue(40);
    Settle();
    w().StoreCompare(1);
    device.ClearWriteLog();

    ASSERT_TRUE(w().SwitchCompare());  // to A
    Settle();
    // The keep-alive writes too; of the settings, only the two that differ.
    std::set<int> written;
    for (const auto& write : device.WriteLog())
        for (const ParamEntry& e : ParamCatalogue())
            if (e.address == write.address) written.insert(write.address);
    EXPECT_EQ(written, (std::set<int>{kGain3, kAddrMic2InputVolume}));
    EXPECT_EQ(device.Value(kGain3), gainA);
    EXPECT_EQ(device.Value(kAddrMic2InputVolume), volumeA);
    EXPECT_EQ(w().CompareSlot(), 0);
    ASSERT_TRUE(w().SwitchCompare());  // back to B
    Settle();
    EXPECT_EQ(device.Value(kGain3), 170);
    w().Undo();
    Settle();
    EXPECT_EQ(device.Value(kGain3), gainA);
    EXPECT_EQ(device.Value(kAddrMic2InputVolume), volumeA);
}

TEST_F(EditingTest, TheMenuKeysLoadSaveAndConnectWithoutMovingAControl) {
    EXPECT_EQ(w().MenuBtn->parentWidget(), static_cast<QWidget*>(w().RzGroupBox1));
    EXPECT_FALSE(w().MenuBtn->geometry().intersects(w().LinkBtn->geometry()));
    EXPECT_FALSE(w().MenuBtn->geometry().intersects(w().Label9->geometry()));
    Click(w().Mic1FreEdit2);
    QTest::keyClick(w().Mic1FreEdit2, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(w().Mic1FreEdit2, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(dialogs->calls.size(), 2u);
    EXPECT_EQ(dialogs->calls[0].kind, Kind::OpenFile);
    EXPECT_EQ(dialogs->calls[1].kind, Kind::SaveFile);
    // The field keeps the keys it types with.
    const qsizetype length = w().Mic1FreEdit2->text().size();
    Type(w().Mic1FreEdit2, "5");
    EXPECT_EQ(w().Mic1FreEdit2->text().size(), length + 1);
}

TEST_F(EditingTest, EveryControlThatSetsAValueTellsWhatTheCatalogueSays) {
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.format == ParamFormat::Command) continue;
        for (const std::string& name : {e.valueControl, e.companionControl}) {
            if (name.empty()) continue;
            auto* control = w().findChild<QWidget*>(QString::fromStdString(name));
            ASSERT_NE(control, nullptr) << name;
            const QString tip = control->toolTip();
            EXPECT_TRUE(tip.contains(QString::fromStdString(e.name))) << name << ": " << tip.toStdString();
            EXPECT_TRUE(tip.contains(QString::fromStdString(ParamRangeText(e)))) << name;
        }
    }
    // The compressor window's fields edit one half of a point of the band shown.
    TForm14& compressor = program->compressorWindow();
    for (int band = 0; band < kCompressorBands; ++band) {
        compressor.OpenForBand(band);
        for (int field = 1; field <= 2 * kCompressorPoints; ++field) {
            const auto* spin = compressor.findChild<QSpinBox*>(QStringLiteral("RzSpinEdit%1").arg(field));
            ASSERT_NE(spin, nullptr);
            const ParamEntry* e = nullptr;
            for (const ParamEntry& entry : ParamCatalogue())
                if (entry.address == CompressorPointAddress(band, (field - 1) / 2)) e = &entry;
            ASSERT_NE(e, nullptr);
            EXPECT_TRUE(spin->toolTip().contains(QString::fromStdString(e->name + ": "))) << e->name;
            EXPECT_TRUE(spin->toolTip().contains(QString::fromStdString(ParamRangeText(*e)))) << e->name;
            EXPECT_TRUE(spin->accessibleName().startsWith(ParamWindowName(*e, kLanguageChinese))) << e->name;
        }
        EXPECT_TRUE(compressor.RzButton2->toolTip().contains("curve.p1 .. p5"));
    }
    EXPECT_EQ(w().Mic1GainEdit3->accessibleName(), "话筒1 EQ3 增益");
    EXPECT_TRUE(w().Mic1GainEdit3->toolTip().contains("0.2dB"));
    EXPECT_TRUE(ControlTip(QStringLiteral("Mic1QEdit2"), kLanguageEnglish).contains("mic1.eq2.q.other"));
}

}  // namespace
}  // namespace tr640::testing
