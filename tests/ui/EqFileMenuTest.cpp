// SPDX-License-Identifier: GPL-3.0-or-later
// The EQ graph's context menu over the whole program and a virtual TR640:
// an EQ file asked about, then taken as typed changes, or refused.
#include "ui/MainWindowFixture.h"

#include "model/ValueKinds.h"
#include "ui/EqFileMenu.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

namespace tr640::testing {
namespace {

constexpr char kRoomEq[] =
    "Filter Settings file\n"
    "Equaliser: Generic\n"
    "Filter  1: ON  PK       Fc   1,250 Hz  Gain  -4.00 dB  Q  2.500\n"
    "Filter  2: ON  HPQ      Fc   80 Hz  Q  0.71\n"
    "Filter  3: ON  None\n";

class EqFileMenuTest : public MainWindowFixture {
protected:
    // Picks an item of the context menu as the user would.
    void Choose(int item, const QString& path) {
        dialogs->pathAnswers.push_back(path);
        std::unique_ptr<QMenu> menu(program->eqFileMenu().BuildMenu(nullptr));
        QList<QAction*> actions;
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) actions.append(a);
        ASSERT_EQ(actions.size(), 4);
        actions[item]->trigger();
    }
    QString Write(const char* text) {
        const QString path = dir.filePath(QStringLiteral("eq.txt"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }
    // Accepted writes to any of microphone 1's band slots.
    int BandWrites() const {
        int n = 0;
        for (int b = 0; b < kBandsPerMic; ++b)
            for (int slot = 0; slot < kSlotsPerBand; ++slot)
                n += static_cast<int>(WritesTo(BandAddress(0, b, slot)).size());
        return n;
    }
    void DrainQueue() {
        for (int n = 0; n < 50; ++n) TickHold();
    }
    QTemporaryDir dir;
};

TEST_F(EqFileMenuTest, ImportAsksWithWhatWillBeTakenAndSendsOnlyOnYes) {
    Connect();
    const QString file = Write(kRoomEq);
    dialogs->confirmAnswers = {false};
    Choose(0, file);
    ASSERT_EQ(dialogs->Texts(ScriptedDialogs::Kind::Confirm).size(), 1u);
    const QString question = dialogs->Texts(ScriptedDialogs::Kind::Confirm)[0];
    EXPECT_NE(question.indexOf(QStringLiteral("频段1: 参量1  1250 Hz  -4.0 dB  Q 2.50")), -1) << question.toStdString();
    EXPECT_NE(question.indexOf(QStringLiteral("频段3: 旁通，数值保留")), -1);
    DrainQueue();
    EXPECT_EQ(BandWrites(), 0);
    EXPECT_NE(store().Shown(BandAddress(0, 0, kSlotFrequency)), 1250);

    Choose(0, file);  // Yes
    DrainQueue();
    EXPECT_EQ(WritesTo(BandAddress(0, 0, kSlotFrequency)), std::vector<std::uint16_t>{1250});
    EXPECT_EQ(WritesTo(BandAddress(0, 1, kSlotType)), std::vector<std::uint16_t>{kFilterHighPass});
    EXPECT_EQ(device.Value(BandAddress(0, 2, kSlotType)) / kBypassOffset, 1);
    EXPECT_EQ(w().Mic1FreEdit1->text(), QStringLiteral("1250.0Hz"));
    EXPECT_EQ(w().Mic1GainEdit1->text(), QStringLiteral("-4.0dB"));
    EXPECT_EQ(w().Mic1ModeBox2->currentIndex(), kFilterHighPass);
    EXPECT_FALSE(graph.draws.empty());
}

TEST_F(EqFileMenuTest, ARefusedFileSaysWhyAndChangesNothing) {
    Connect();
    const ParamStore before = store();
    Choose(0, Write("Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\nFilter 2: ON NO Fc 50 Hz\n"));
    ASSERT_EQ(dialogs->Texts(ScriptedDialogs::Kind::Message).size(), 1u);
    EXPECT_NE(dialogs->Texts(ScriptedDialogs::Kind::Message)[0].indexOf(QStringLiteral("第2行")), -1);
    EXPECT_TRUE(dialogs->Texts(ScriptedDialogs::Kind::Confirm).empty());
    DrainQueue();
    EXPECT_EQ(BandWrites(), 0);
    EXPECT_EQ(store().Shown(BandAddress(0, 0, kSlotFrequency)), before.Shown(BandAddress(0, 0, kSlotFrequency)));
}

TEST_F(EqFileMenuTest, OfflineTheImportIsOnlyStoredAsATypedChangeIs) {
    Choose(0, Write(kRoomEq));
    DrainQueue();
    EXPECT_EQ(BandWrites(), 0);
    EXPECT_EQ(store().Shown(BandAddress(0, 0, kSlotFrequency)), 1250);
    EXPECT_EQ(w().Mic1FreEdit1->text(), QStringLiteral("1250.0Hz"));
}

TEST_F(EqFileMenuTest, ExportsWriteTheShownMicrophonesBandsCurveAndPicture) {
    Connect();
    const QString eq = dir.filePath(QStringLiteral("out.txt"));
    Choose(1, eq);
    QFile file(eq);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), ExportEqText(store(), 0));
    const QString curve = dir.filePath(QStringLiteral("curve.txt")), picture = dir.filePath(QStringLiteral("eq.png"));
    Choose(2, curve);
    Choose(3, picture);
    EXPECT_TRUE(QFile::exists(curve));
    EXPECT_TRUE(QFile::exists(picture));
    EXPECT_TRUE(dialogs->Texts(ScriptedDialogs::Kind::Message).empty());
}

}  // namespace
}  // namespace tr640::testing
