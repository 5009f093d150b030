// SPDX-License-Identifier: GPL-3.0-or-later
// The windows never claim what the unit does not have. Mode recall and
// save through their list boxes, over a unit that answers at its own pace:
// a mode command is reported done only once the unit has taken that very
// command, it goes out once, its wait ends with the link, and no change
// made around it is lost. Boxes and transfers: what a control shows after
// a question or a transfer is what the store and the unit hold.

#include "MainWindowFixture.h"

#include "model/ValueKinds.h"
#include "presets/FileSystem.h"

#include <QFile>
#include <QTemporaryDir>

namespace tr640::testing {
namespace {

using Kind = ScriptedDialogs::Kind;

class UnitAgreementTest : public MainWindowFixture {
protected:
    UnitAgreementTest() {
        link().Watch({nullptr, [this](int direction, int page) {
                          if (direction == 0 && page == 1) reloadsWithRepliesOwed.push_back(device.PendingReplies());
                      }});
    }

    // Linked, a keep-alive sent and its answer `delay` device ticks away.
    void ConnectWithKeepAliveInFlight(int delay) {
        Connect();
        device.SetReplyDelay(static_cast<std::size_t>(delay));
        for (int n = 0; n < 10 && link().Vars().ready == 1; ++n) TickHold();
        ASSERT_EQ(link().Vars().ready, 0);
    }
    // Runs the hold and transfer timers as the event loop would, for a while.
    void Settle(int ticks = 600) {
        for (int n = 0; n < ticks; ++n) {
            if (linkWindow().Timer2->isActive()) {
                Tick(linkWindow().Timer2, &TForm9::Timer2Timer);
            } else {
                TickHold();
            }
        }
    }
    int SuccessBoxes() const {
        const auto texts = dialogs->Texts(Kind::Message);
        return static_cast<int>(std::count(texts.begin(), texts.end(), QStringLiteral("保存成功!")));
    }

    std::vector<std::size_t> reloadsWithRepliesOwed;  // one entry per reload begun
};

TEST_F(UnitAgreementTest, ASaveQueuedBehindAKeepAliveSucceedsOnceAfterTheUnitTookIt) {
    ConnectWithKeepAliveInFlight(3);
    Choose(w().SysSaveModeBox, 2);
    ASSERT_TRUE(WritesTo(kAddrModeSave).empty()) << "the save should have had to wait";
    for (int n = 0; n < 100 && SuccessBoxes() == 0; ++n) TickHold();
    EXPECT_EQ(WritesTo(kAddrModeSave), std::vector<std::uint16_t>{2}) << "success came before the save went out";
    Settle();
    EXPECT_EQ(SuccessBoxes(), 1);
    EXPECT_EQ(WritesTo(kAddrModeSave), std::vector<std::uint16_t>{2});
    EXPECT_EQ(link().Vars().linkState, kLinkedIdle);
}

TEST_F(UnitAgreementTest, ARecallQueuedBehindAKeepAliveReloadsOnceAfterItsOwnAcknowledgement) {
    ConnectWithKeepAliveInFlight(12);  // slower than the queue's forced send
    Choose(w().SysModeBox, 3);
    w().SysTotalVolBar->setValue(40);  // a page-0 change waiting behind the recall
    Settle();
    EXPECT_EQ(WritesTo(kAddrModeRecall), std::vector<std::uint16_t>{3});
    EXPECT_EQ(reloadsWithRepliesOwed, std::vector<std::size_t>{0}) << "the reload began before the unit answered";
    EXPECT_EQ(device.Value(kAddrMasterVolume), store().Shown(kAddrMasterVolume));
    EXPECT_EQ(w().SysTotalVolBar->value(), 40);
}

// Replies carry no frame number: a save forced out behind a change whose
// answer is late would take that answer for its own.
TEST_F(UnitAgreementTest, ARefusedSaveBehindALateAnswerNeverSucceeds) {
    Connect();
    device.SetReplyDelay(12);  // later than the queue's forced send
    w().SysTotalVolBar->setValue(40);
    device.SetRefuseEveryNth(1);  // from here the unit refuses every frame
    Choose(w().SysSaveModeBox, 1);
    Settle();
    EXPECT_EQ(SuccessBoxes(), 0);
    EXPECT_FALSE(dialogs->Texts(Kind::Plain).empty()) << "the refusal was not reported";
}

// A unit gone silent swallows the changes the queue forces out; while a save
// waits its turn no keep-alive runs, yet the loss must still be noticed
// rather than the save going out into the silence.
TEST_F(UnitAgreementTest, ChangesSentIntoASilentUnitWhileASaveWaitsEndTheLink) {
    Connect();
    device.SetSilent(true);
    w().SysTotalVolBar->setValue(40);  // goes out, unanswered
    w().SysTotalVolBar->setValue(41);  // waits, then is forced out
    Choose(w().SysSaveModeBox, 2);     // waits its turn behind them
    Settle(100);
    EXPECT_EQ(dialogs->Texts(Kind::Message), std::vector<QString>{"已断开连接!"});
    EXPECT_EQ(SuccessBoxes(), 0);
}

TEST_F(UnitAgreementTest, AModeCommandRightAfterABurstGoesOutOnce) {
    Connect();
    w().Mic1GainBar1->setValue(100);
    w().Mic1GainBar1->setValue(110);  // waits: the burst's last change, sent twice
    for (int n = 0; n < 10 && link().Vars().queue.count > 0; ++n) TickHold();
    ASSERT_EQ(link().Vars().ready, 1);  // acknowledged, the repeat not yet sent
    Choose(w().SysSaveModeBox, 3);      // goes out at once
    Settle();
    EXPECT_EQ(WritesTo(kAddrModeSave), std::vector<std::uint16_t>{3});
    EXPECT_EQ(SuccessBoxes(), 1);
}

TEST_F(UnitAgreementTest, AWaitEndsWithItsLinkAndAnUntakenSaveNeverSucceeds) {
    Connect();
    device.SetSilent(true);
    Choose(w().SysSaveModeBox, 4);
    Choose(w().SysModeBox, 4);  // refused: the link is busy with the save
    for (int n = 0; n < 5; ++n) TickHold();
    link().NoDevicePresent();  // pulled out before the unit took it
    device.SetSilent(false);
    Connect();  // put back in: a new link
    Settle();
    EXPECT_EQ(SuccessBoxes(), 0);
    EXPECT_TRUE(WritesTo(kAddrModeSave).empty());
    EXPECT_EQ(reloadsWithRepliesOwed.size(), 0u);
    EXPECT_EQ(w().SysModeBox->currentIndex(), store().Shown(kAddrModeRecall));
}

// A confirmation runs the event loop: a transfer may end and refresh the
// windows while it is open. The box then shows what was decided.
TEST_F(UnitAgreementTest, ASystemBoxAnsweredAfterARefreshUnderItsQuestionShowsTheStoredValue) {
    device.SetValue(kAddrAntiFeedback, 1);
    Connect();
    dialogs->whileOpen = [this](const ScriptedDialogs::Call&) { w().RefreshAll(); };
    Choose(w().SysFBEBox, 0);
    EXPECT_EQ(store().Shown(kAddrAntiFeedback), 0);
    EXPECT_EQ(w().SysFBEBox->currentIndex(), 0);
}

TEST_F(UnitAgreementTest, AnEqResetDuringAPresetWriteIsUndoneWhenTheWriteEnds) {
    Connect();
    const int gain = BandAddress(0, 0, kSlotGain);
    store().SetDevice(gain, 170);  // as a loaded preset leaves it
    link().WriteAll();
    for (int n = 0; n < 3; ++n) Tick(linkWindow().Timer2, &TForm9::Timer2Timer);  // its first blocks are out
    Click(w().MusEQAllPassBtn);
    EXPECT_EQ(store().Shown(gain), EqBandDefault(0, kSlotGain)) << "the reset shows while the write runs";
    RunTransfer();
    Settle(50);
    for (int band = 0; band < kBandsPerMic; ++band) {
        for (int slot = 0; slot < kSlotsPerBand; ++slot) {
            const int address = BandAddress(0, band, slot);
            EXPECT_EQ(device.Value(address), store().Shown(address)) << std::hex << address;
        }
    }
    EXPECT_EQ(Text(w().Mic1GainEdit1), "4.0dB");
}

// Preset loads in quick succession: the second comes while the first is
// being written, is not taken, and the unit ends with what the windows show.
TEST_F(UnitAgreementTest, APresetLoadedWhileAnotherIsBeingWrittenIsNotTaken) {
    Connect();
    QTemporaryDir dir;
    const auto presetWithGains = [&](const char* name, std::int32_t gain) {
        ParamStore preset = store();
        for (int mic = 0; mic < 2; ++mic)
            for (int band = 0; band < kBandsPerMic; ++band) preset.SetShown(BandAddress(mic, band, kSlotGain), gain);
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(JoinPresetLines(WritePresetLines(preset))));
        return path;
    };
    dialogs->pathAnswers = {presetWithGains("first.Nddt", 160), presetWithGains("second.Nddt", 140)};
    Click(w().RzButton4);
    for (int n = 0; n < 3; ++n) Tick(linkWindow().Timer2, &TForm9::Timer2Timer);
    Click(w().RzButton4);
    RunTransfer();
    Settle(50);
    for (int mic = 0; mic < 2; ++mic) {
        for (int band = 0; band < kBandsPerMic; ++band) {
            const int address = BandAddress(mic, band, kSlotGain);
            EXPECT_EQ(device.Value(address), 160) << std::hex << address;
            EXPECT_EQ(store().Shown(address), 160) << std::hex << address;
        }
    }
}

}  // namespace
}  // namespace tr640::testing
