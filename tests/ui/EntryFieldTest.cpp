// SPDX-License-Identifier: GPL-3.0-or-later
// The entry fields: selecting, typing, committing, stepping with the arrow
// keys and the mouse wheel, and what happens to text that is not a value.

#include "MainWindowFixture.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tr640::testing {
namespace {

using EntryFieldTest = MainWindowFixture;

constexpr int kMic1Band3Frequency = 0x010D;
constexpr int kMic1Band3Gain = 0x010E;

// --- Selecting ----------------------------------------------------------------------

TEST_F(EntryFieldTest, AClickSelectsTheFieldAndReappliesItsValueWithoutSending) {
    Connect();
    Click(w().Mic1GainEdit3);
    EXPECT_EQ(state().currentField, w().Mic1GainEdit3);
    EXPECT_EQ(QApplication::focusWidget(), w().Mic1GainEdit3);
    EXPECT_TRUE(state().wheelArmed);
    EXPECT_EQ(state().lastAcceptedText, w().Mic1GainEdit3->text().toStdString());
    EXPECT_EQ(state().lastChange.address, kMic1Band3Gain);
    // The field left behind committed its value (a change to send); the
    // selected field's own value went nowhere.
    EXPECT_TRUE(WritesTo(kMic1Band3Gain).empty());
    EXPECT_EQ(link().Vars().sendSuppressed, 0);
}

TEST_F(EntryFieldTest, ReadOnlyFieldsAreNeverSelected) {
    for (QLineEdit* display : {w().SysTotalVolEdit, w().MICLowFreEdit2, w().RzEdit7}) {
        Click(display);
        EXPECT_EQ(state().currentField, w().Mic1FreEdit1) << display->objectName().toStdString();
    }
}

// --- Typing and committing --------------------------------------------------------

TEST_F(EntryFieldTest, EnterCommitsTheTypedNumberInTheFieldsOwnForm) {
    Connect();
    Retype(w().Mic1FreEdit3, "1234");
    EXPECT_EQ(w().Mic1FreEdit3->text(), "1234");
    Key(w().Mic1FreEdit3, Qt::Key_Return);
    EXPECT_EQ(w().Mic1FreEdit3->text(), "1234.0Hz");
    EXPECT_EQ(store().Shown(kMic1Band3Frequency), 1234);
    EXPECT_EQ(store().Device(kMic1Band3Frequency), 1234);
    // It waits for the device to acknowledge the field left behind, then goes.
    TickHold();
    TickHold();
    EXPECT_EQ(device.Value(kMic1Band3Frequency), 1234);
    EXPECT_EQ(state().lastAcceptedText, "1234.0Hz");
    EXPECT_EQ(state().lastChange, (CurveChange{kMic1Band3Frequency, 1234}));
}

TEST_F(EntryFieldTest, EachKindCommitsByItsOwnRule) {
    const struct {
        QLineEdit* field;
        const char* typed;
        const char* shown;
        int address;
        int raw;
    } cases[] = {
        {w().Mic1GainEdit3, "-3.5", "-3.6dB", kMic1Band3Gain, 132},
        {w().Mic1QEdit3, "4.1", "4.20", 0x010F, 50},
        {w().Mic1INGainEdit, "250", "200%", 0x0134, 200},
        {w().MICLowFreEdit, "50", "80.0Hz", 0x0139, 80},
        {w().MidRMSReleaseEdit, "9", "Atk x 9", 0x0145, 4},
        {w().HighRMSHoldEdit, "12.26", "12.3ms", 0x014C, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field->objectName().toStdString());
        Retype(c.field, c.typed);
        Key(c.field, Qt::Key_Return);
        EXPECT_EQ(c.field->text(), c.shown);
        EXPECT_EQ(store().Shown(c.address), c.raw);
        EXPECT_EQ(store().Device(c.address), c.raw);
    }
    // The gain's bar follows its field; the crossovers' copies follow theirs.
    EXPECT_EQ(w().Mic1GainBar3->value(), 132);
    EXPECT_EQ(w().Mic1INGainBar->value(), 200);
    EXPECT_EQ(w().MICLowFreEdit2->text(), "80.0Hz");
}

TEST_F(EntryFieldTest, LeavingAFieldCommitsIt) {
    Retype(w().Mic1GainEdit2, "6");
    Click(w().Mic2GainEdit2);
    EXPECT_EQ(w().Mic1GainEdit2->text(), "6.0dB");
    EXPECT_EQ(store().Shown(0x0109), 180);
    EXPECT_EQ(state().currentField, w().Mic2GainEdit2);
}

TEST_F(EntryFieldTest, OnlyDigitsSignAndPointCanBeTyped) {
    Retype(w().Mic1FreEdit2, "12");
    Type(w().Mic1FreEdit2, "abc XYZ+e,");
    TypeText(w().Mic1FreEdit2, QStringLiteral("中"));
    TypeText(w().Mic1FreEdit2, QStringLiteral("５"));  // a full-width digit is not a digit here
    EXPECT_EQ(w().Mic1FreEdit2->text(), "12");
    Type(w().Mic1FreEdit2, "-.5");
    EXPECT_EQ(w().Mic1FreEdit2->text(), "12-.5");

    // Editing keys still work: backspace, the cursor keys, delete.
    Key(w().Mic1FreEdit2, Qt::Key_Backspace);
    EXPECT_EQ(w().Mic1FreEdit2->text(), "12-.");
    QTest::keyClick(w().Mic1FreEdit2, Qt::Key_Home);
    QTest::keyClick(w().Mic1FreEdit2, Qt::Key_Delete);
    EXPECT_EQ(w().Mic1FreEdit2->text(), "2-.");

    // Text composed by an input method keeps only what could be typed.
    w().Mic1FreEdit2->clear();
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("1千2"));
    QApplication::sendEvent(w().Mic1FreEdit2, &composed);
    EXPECT_EQ(w().Mic1FreEdit2->text(), "12");
}

TEST_F(EntryFieldTest, PastedTextIsFilteredAtTheCommit) {
    Retype(w().Mic1FreEdit2, "");
    QGuiApplication::clipboard()->setText(QStringLiteral("12a3"));
    QTest::keyClick(w().Mic1FreEdit2, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(w().Mic1FreEdit2->text(), "12a3");
    Key(w().Mic1FreEdit2, Qt::Key_Return);
    EXPECT_EQ(w().Mic1FreEdit2->text(), "123.0Hz");
    EXPECT_EQ(store().Shown(0x0108), 123);
}

// Text that is not a value: the last accepted text comes back, and nothing
// is stored or sent.
TEST_F(EntryFieldTest, RejectedTextIsRestoredAndNeitherStoredNorSent) {
    Connect();
    QLineEdit* field = w().Mic1FreEdit3;
    Click(field);
    const QString accepted = field->text();
    const std::int32_t stored = store().Shown(kMic1Band3Frequency);

    const QString pasted[] = {"Hz", "-", ".", "1-2", "1..2", "--1", "abc", "中文", QString(400, '9')};
    for (const QString& text : pasted) {
        SCOPED_TRACE(text.left(8).toStdString());
        field->setText(text);  // as pasted
        Key(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), accepted);
        EXPECT_EQ(store().Shown(kMic1Band3Frequency), stored);
        EXPECT_EQ(store().Device(kMic1Band3Frequency), stored);
    }
    // An empty field is restored by Enter and by leaving it alike.
    field->clear();
    Key(field, Qt::Key_Return);
    EXPECT_EQ(field->text(), accepted);
    field->clear();
    Click(w().Mic1GainEdit1);
    EXPECT_EQ(field->text(), accepted);
    EXPECT_EQ(store().Shown(kMic1Band3Frequency), stored);
    // None of it reached the device.
    EXPECT_TRUE(WritesTo(kMic1Band3Frequency).empty());
    EXPECT_TRUE(dialogs->calls.empty());
}

TEST_F(EntryFieldTest, NumbersOutOfRangeAreClamped) {
    Retype(w().Mic1FreEdit1, "99999999999999999999");
    Key(w().Mic1FreEdit1, Qt::Key_Return);
    EXPECT_EQ(w().Mic1FreEdit1->text(), "20000.0Hz");
    Retype(w().Mic1FreEdit1, "-5");
    Key(w().Mic1FreEdit1, Qt::Key_Return);
    EXPECT_EQ(w().Mic1FreEdit1->text(), "20.0Hz");
    Retype(w().Mic1GainEdit1, "-99999");
    Key(w().Mic1GainEdit1, Qt::Key_Return);
    EXPECT_EQ(w().Mic1GainEdit1->text(), "-30.0dB");
    EXPECT_EQ(w().Mic1GainBar1->value(), 0);
    Retype(w().LowRMSattackEdit, "1000");
    Key(w().LowRMSattackEdit, Qt::Key_Return);
    EXPECT_EQ(w().LowRMSattackEdit->text(), "200.0ms");
}

TEST_F(EntryFieldTest, AFieldWithoutAValueKindSaysErrorAndIsRestored) {
    SetHint(w().Mic1GainEdit4, QString());
    Click(w().Mic1GainEdit4);
    // Selecting already commits, so the message comes at once.
    ASSERT_EQ(dialogs->Texts(ScriptedDialogs::Kind::Plain), std::vector<QString>{"error"});
    Retype(w().Mic1GainEdit4, "3");
    Key(w().Mic1GainEdit4, Qt::Key_Return);
    EXPECT_EQ(w().Mic1GainEdit4->text(), "0.0dB");
    EXPECT_EQ(store().Shown(0x0113), 150);
}

// --- Stepping ----------------------------------------------------------------------

TEST_F(EntryFieldTest, ArrowKeysStepTheCurrentField) {
    Retype(w().Mic1FreEdit4, "1000");
    Key(w().Mic1FreEdit4, Qt::Key_Return);
    Key(w().Mic1FreEdit4, Qt::Key_Up);
    EXPECT_EQ(w().Mic1FreEdit4->text(), "1015.3Hz");
    EXPECT_EQ(store().Shown(0x0112), 1015);
    Key(w().Mic1FreEdit4, Qt::Key_Down);
    Key(w().Mic1FreEdit4, Qt::Key_Left);
    EXPECT_EQ(w().Mic1FreEdit4->text(), "984.9Hz");
    Key(w().Mic1FreEdit4, Qt::Key_Right);
    EXPECT_EQ(w().Mic1FreEdit4->text(), "1000.0Hz");

    Retype(w().Mic1FreEdit4, "105");
    Key(w().Mic1FreEdit4, Qt::Key_Return);
    Key(w().Mic1FreEdit4, Qt::Key_Up);
    EXPECT_EQ(w().Mic1FreEdit4->text(), "106.0Hz");
    Key(w().Mic1FreEdit4, Qt::Key_Up);
    EXPECT_EQ(w().Mic1FreEdit4->text(), "107.6Hz");
    EXPECT_EQ(state().currentField, w().Mic1FreEdit4);
}

TEST_F(EntryFieldTest, TheWheelStepsTheCurrentFieldWhereverThePointerIs) {
    Click(w().Mic1GainEdit2);
    EXPECT_TRUE(Wheel(w().Image1));
    EXPECT_EQ(w().Mic1GainEdit2->text(), "0.2dB");
    EXPECT_TRUE(Wheel(w().SysNoiseBox, -120));
    EXPECT_TRUE(Wheel(w().Mic2GainBar4, -120));
    EXPECT_EQ(w().Mic1GainEdit2->text(), "-0.2dB");
    // The widgets under the pointer were left alone.
    EXPECT_EQ(w().SysNoiseBox->currentIndex(), 1);
    EXPECT_EQ(w().Mic2GainBar4->value(), 150);
    // One event is one step, however large its delta.
    EXPECT_TRUE(Wheel(w().EQAdvPanel, 480));
    EXPECT_EQ(w().Mic1GainEdit2->text(), "0.0dB");
    EXPECT_EQ(w().Mic1GainBar2->value(), 150);
}

TEST_F(EntryFieldTest, ADisarmedWheelIsLeftToTheWidgetUnderThePointer) {
    Click(w().Mic1BypassCheck2);
    Click(w().Mic1BypassCheck2);
    EXPECT_FALSE(state().wheelArmed);
    EXPECT_FALSE(Wheel(w().Image1));
    EXPECT_EQ(w().Mic1FreEdit1->text(), "30.0Hz");

    // The arrow keys in a field still step the current field.
    w().Mic1FreEdit1->setFocus();
    Key(w().Mic1FreEdit1, Qt::Key_Up);
    EXPECT_EQ(w().Mic1FreEdit1->text(), "31.0Hz");
    EXPECT_FALSE(state().wheelArmed);

    // A bar under the pointer takes the wheel itself, and its handler runs.
    Wheel(w().Mic1GainBar4);
    EXPECT_GT(w().Mic1GainBar4->value(), 150);
    EXPECT_EQ(state().currentField, w().Mic1GainEdit4);
    EXPECT_EQ(store().Shown(0x0113), w().Mic1GainBar4->value());

    // Selecting a field arms the wheel again.
    Click(w().Mic1FreEdit1);
    EXPECT_TRUE(state().wheelArmed);
    EXPECT_TRUE(Wheel(w().Image1));
    EXPECT_EQ(w().Mic1FreEdit1->text(), "32.0Hz");
}

}  // namespace
}  // namespace tr640::testing
