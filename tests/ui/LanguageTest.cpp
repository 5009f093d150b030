// SPDX-License-Identifier: GPL-3.0-or-later
// The program in each language: the command line that chooses it, every
// caption fitting its control by the control's own font metrics, and an
// English program that shows no Chinese.

#include "support/QuietOffscreen.h"
#include "support/ScriptedDialogs.h"
#include "ui/CommandLine.h"
#include "ui/Controls.h"
#include "ui/DemoDeviceWindow.h"
#include "ui/VirtualRig.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTabBar>

#include <string>

namespace tr640::testing {
namespace {

// --- The command line -------------------------------------------------------

ProgramOptions Read(QStringList arguments) {
    arguments.prepend(QStringLiteral("tr640"));
    return ReadProgramOptions(arguments, QStringLiteral("TR640"));
}

TEST(CommandLineTest, ChoosesTheLanguageChineseUnlessToldOtherwise) {
    using Outcome = ProgramOptions::Outcome;
    EXPECT_EQ(Read({}).outcome, Outcome::Run);
    EXPECT_EQ(Read({}).language, kLanguageChinese);
    EXPECT_EQ(Read({"--language", "en"}).language, kLanguageEnglish);
    EXPECT_EQ(Read({"--language=zh"}).language, kLanguageChinese);

    const ProgramOptions help = Read({"--language", "xx", "--help"});
    EXPECT_EQ(help.outcome, Outcome::ShowHelp);
    EXPECT_TRUE(help.helpText.contains("--language <code>")) << help.helpText.toStdString();
    EXPECT_TRUE(help.helpText.contains("zh, en")) << help.helpText.toStdString();

    for (const QStringList& wrong : {QStringList{"--language", "xx"}, QStringList{"--language"},
                                     QStringList{"--lang", "en"}, QStringList{"en"}}) {
        const ProgramOptions options = Read(wrong);
        EXPECT_EQ(options.outcome, Outcome::Error) << wrong.join(' ').toStdString();
        EXPECT_FALSE(options.error.isEmpty());
    }
    EXPECT_TRUE(Read({"--language", "xx"}).error.contains("zh, en"));
}

TEST(CommandLineTest, AMenuChoiceIsRememberedAndTheCommandLineOverridesItForOneRun) {
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("tr640"), QStringLiteral("tr640")).clear();
    EXPECT_EQ(RunLanguage(Read({})), kLanguageChinese);
    RememberLanguage(kLanguageEnglish);
    EXPECT_EQ(RunLanguage(Read({})), kLanguageEnglish);
    EXPECT_EQ(RunLanguage(Read({"--language", "zh"})), kLanguageChinese);
    EXPECT_EQ(RememberedLanguage(kLanguageChinese), kLanguageEnglish);  // not changed by the override
    QSettings(QStringLiteral("tr640"), QStringLiteral("tr640")).clear();
}

TEST(CommandLineTest, WithoutADisplayTheProgramSaysSoInOneLineInsteadOfAborting) {
    const auto none = [](const char*) { return QString(); };
    EXPECT_FALSE(DisplayNamed(none, {"tr640"}));
    EXPECT_TRUE(DisplayNamed(none, {"tr640", "-platform", "offscreen"}));
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const auto one = [variable](const char* name) { return QString(qstrcmp(name, variable) == 0 ? "x" : ""); };
        EXPECT_TRUE(DisplayNamed(one, {"tr640"})) << variable;
    }
    const QString text = NoDisplayText(QStringLiteral("tr640-demo"));
    EXPECT_FALSE(text.contains('\n'));
    for (const char* way : {"desktop session", "QT_QPA_PLATFORM=offscreen tr640-demo", "xvfb-run tr640-demo"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(way))) << text.toStdString();
}

// --- Fit by font metrics ----------------------------------------------------

// The pixels a line of text takes from its start up to the end of its
// last glyph: the advance, less the space the font leaves after that glyph
// (its right bearing; a glyph reaching beyond its advance adds to it).
int Need(const QWidget& control, const QString& text) {
    if (text.isEmpty()) return 0;
    const QFontMetrics metrics = control.fontMetrics();
    return metrics.horizontalAdvance(text) - metrics.rightBearing(text.back());
}

// One pixel of slack: the first band column's list box is a pixel
// narrower than the others, and its Chinese shelf items have always
// reached a pixel into its edge. A text must not lose more than that faint
// last column.
constexpr int kSlack = 1;

// Notes a text that does not fit: the control, the text, the pixels it
// needs and the pixels it has.
void Fit(QStringList& misfits, const QWidget& control, const QString& text, int need, int have) {
    if (need <= have + kSlack) return;
    misfits << QStringLiteral("%1 \"%2\": needs %3 px, has %4").arg(control.objectName(), text).arg(need).arg(have);
}

void CheckLabel(const QLabel& label, QStringList& misfits) {
    const int margin = label.margin();
    const QRect room = label.contentsRect().adjusted(margin, margin, -margin, -margin);
    const QFontMetrics metrics = label.fontMetrics();
    if (label.wordWrap()) {
        const QRect used = metrics.boundingRect(room, Qt::TextWordWrap | label.alignment(), label.text());
        Fit(misfits, label, label.text(), used.width(), room.width());
        Fit(misfits, label, label.text(), used.height(), room.height());
        return;
    }
    for (const QString& line : label.text().split('\n')) {
        Fit(misfits, label, line, Need(label, line), room.width());
    }
}

void CheckButton(const QAbstractButton& button, QStringList& misfits) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const bool check = qobject_cast<const QCheckBox*>(&button) != nullptr;
    const QRect room = button.style()->subElementRect(
        check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, &button);
    Fit(misfits, button, button.text(), Need(button, button.text()), room.width());
}

void CheckListBox(const QComboBox& box, QStringList& misfits) {
    QStyleOptionComboBox option;
    option.initFrom(&box);
    const int room =
        box.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &box).width();
    for (int i = 0; i < box.count(); ++i) {
        Fit(misfits, box, box.itemText(i), Need(box, box.itemText(i)), room);
    }
}

void CheckTabs(const QTabBar& tabs, QStringList& misfits) {
    const bool vertical = tabs.shape() == QTabBar::RoundedWest || tabs.shape() == QTabBar::RoundedEast;
    for (int i = 0; i < tabs.count(); ++i) {
        const QRect tab = tabs.tabRect(i);
        const int room = (vertical ? tab.height() : tab.width()) - 4;
        Fit(misfits, tabs, tabs.tabText(i), Need(tabs, tabs.tabText(i)), room);
    }
}

// A field's text must show whole, not scrolled: besides the field's padding
// and text margins, Qt keeps two pixels either side of it and one for the
// cursor after it.
void CheckField(const QLineEdit& field, QStringList& misfits) {
    QStyleOptionFrame option;
    option.initFrom(&field);
    option.lineWidth = field.hasFrame() ? field.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &field) : 0;
    const QMargins margins = field.textMargins();
    const int room = field.style()->subElementRect(QStyle::SE_LineEditContents, &option, &field).width() - 4 -
                     margins.left() - margins.right();
    Fit(misfits, field, field.text(), field.fontMetrics().horizontalAdvance(field.text()) + 1, room);
}

// A label sized to its text must not grow into a neighbour.
void CheckNeighbours(const QLabel& control, QStringList& misfits) {
    const QWidget* parent = control.parentWidget();
    if (!parent || !control.isVisibleTo(parent)) return;
    for (const QObject* child : parent->children()) {
        const auto* other = qobject_cast<const QWidget*>(child);
        if (!other || other == &control || !other->isVisibleTo(parent) || other->isWindow()) continue;
        // The graph's picture and handles lie under the band readout.
        if (qobject_cast<const BitmapImage*>(other)) continue;
        if (control.geometry().intersects(other->geometry())) {
            misfits << QStringLiteral("%1 overlaps %2").arg(control.objectName(), other->objectName());
        }
    }
}

// Every caption, list item, label and tab of `window` that does not fit,
// a line each.
std::string Misfits(QWidget& window) {
    window.ensurePolished();
    QStringList misfits;
    QList<QWidget*> controls = window.findChildren<QWidget*>();
    controls.prepend(&window);
    for (QWidget* control : controls) {
        control->ensurePolished();
        if (auto* label = qobject_cast<QLabel*>(control)) {
            CheckLabel(*label, misfits);
            CheckNeighbours(*label, misfits);
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            CheckButton(*button, misfits);
        } else if (auto* box = qobject_cast<QComboBox*>(control)) {
            CheckListBox(*box, misfits);
        } else if (auto* field = qobject_cast<QLineEdit*>(control)) {
            CheckField(*field, misfits);
        } else if (auto* tabs = qobject_cast<QTabBar*>(control)) {
            CheckTabs(*tabs, misfits);
        } else if (auto* line = qobject_cast<CaptionLine*>(control)) {
            Fit(misfits, *line, line->Caption(), Need(*line, line->Caption()), line->width());
        } else if (auto* group = qobject_cast<QGroupBox*>(control); group && !group->title().isEmpty()) {
            Fit(misfits, *group, group->title(), Need(*group, group->title()) + 16, group->width());
        }
    }
    return misfits.join('\n').toStdString();
}

// The texts the link puts on the main window's link label.
constexpr const char* kLinkTexts[] = {"离线模式", "连接中...", "加载中...", "下载数据...", "设备已连接",
                                      "设备未连接", "调用等待中...", "保存等待中...", "保存中..."};

class LanguageTest : public ::testing::TestWithParam<std::string> {
protected:
    LanguageTest() { rig.program().Start(); }

    static int Language() { return *LanguageByCode(GetParam()); }

    QuietOffscreen quiet;
    ScriptedDialogs* dialogs = new ScriptedDialogs;
    VirtualRig rig{std::unique_ptr<Dialogs>(dialogs), Language()};
};

TEST_P(LanguageTest, EveryTextFitsItsControl) {
    Program& program = rig.program();
    TForm1& main = program.mainWindow();
    EXPECT_EQ(Misfits(main), "");

    // Each text of the link on both link labels.
    // The widest band frequency.
    for (QLineEdit* field : main.findChildren<QLineEdit*>()) {
        if (field->objectName().contains(QStringLiteral("FreEdit"))) field->setText(QStringLiteral("20000.0Hz"));
    }
    EXPECT_EQ(Misfits(main), "");

    TForm4& status = program.statusWindow();
    for (const char* text : kLinkTexts) {
        const QString caption = QString::fromStdString(Translate(Language(), text));
        main.LinkLabel->setText(caption);
        status.ShowStatus(caption, 50, Language());
        EXPECT_EQ(Misfits(main), "") << text;
        EXPECT_EQ(Misfits(status), "") << text;
    }

    TForm14& compressor = program.compressorWindow();
    compressor.OpenForBand(0);
    EXPECT_EQ(Misfits(compressor), "");

    DemoDeviceWindow demo({}, nullptr, Language());
    demo.show();
    for (bool plugged : {false, true}) {
        demo.SetPlugged(plugged);
        EXPECT_EQ(Misfits(demo), "");
    }
}

// Every language the program carries, a table file added later included.
INSTANTIATE_TEST_SUITE_P(EveryLanguage, LanguageTest, ::testing::ValuesIn(LanguageCodes()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// --- English without Chinese ------------------------------------------------

bool HasChinese(const QString& text) {
    for (const QChar c : text) {
        if (c.script() == QChar::Script_Han) return true;
    }
    return false;
}

// Every text a person can see in `window`, its title included.
QStringList VisibleTexts(QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (QWidget* control : window.findChildren<QWidget*>()) {
        if (auto* label = qobject_cast<QLabel*>(control)) texts << label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(control)) texts << button->text();
        if (auto* group = qobject_cast<QGroupBox*>(control)) texts << group->title();
        if (auto* line = qobject_cast<CaptionLine*>(control)) texts << line->Caption();
        if (auto* box = qobject_cast<QComboBox*>(control)) {
            for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
        }
        if (auto* tabs = qobject_cast<QTabBar*>(control)) {
            for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
        }
    }
    return texts;
}

class EnglishTest : public LanguageTest {};

TEST_P(EnglishTest, ShowsNoChineseInWindowsOrBoxes) {
    Program& program = rig.program();
    TForm1& main = program.mainWindow();
    // Connected, so that the mode boxes ask before they act.
    rig.Plug();
    QCoreApplication::sendPostedEvents(&program.linkWindow(), QEvent::MetaCall);
    program.linkWindow().Timer1Timer();
    for (int n = 0; program.linkWindow().Timer2->isActive() && n < 500; ++n) {
        QCoreApplication::sendPostedEvents(&program.linkWindow(), QEvent::MetaCall);
        program.linkWindow().Timer2Timer();
    }
    ASSERT_EQ(program.link().Vars().linkState, kLinkedIdle);
    EXPECT_EQ(main.LinkLabel->text(), "The device is connected");

    dialogs->confirmAnswers = {false, false, false, false};
    main.SysNoiseBox->setCurrentIndex(4);
    main.SysModeBox->setCurrentIndex(2);
    main.SysSaveModeBox->setCurrentIndex(3);
    main.MusEQAllPassBtn->click();
    ASSERT_EQ(dialogs->calls.size(), 4u);
    EXPECT_EQ(dialogs->calls[0].text, "Noise gate: Level 5?");
    for (const ScriptedDialogs::Call& call : dialogs->calls) {
        EXPECT_FALSE(HasChinese(call.caption + call.text)) << call.text.toStdString();
    }

    program.compressorWindow().OpenForBand(2);
    program.statusWindow().ShowStatus(main.LinkLabel->text(), 10, Language());
    DemoDeviceWindow demo({}, nullptr, Language());
    for (QWidget* window : std::initializer_list<QWidget*>{&main, &program.statusWindow(),
                                                           &program.compressorWindow(), &demo}) {
        for (const QString& text : VisibleTexts(*window)) EXPECT_FALSE(HasChinese(text)) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(English, EnglishTest, ::testing::Values(std::string("en")));

}  // namespace
}  // namespace tr640::testing
