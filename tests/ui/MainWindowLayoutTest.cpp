// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as created and as it stands after start-up with no device.

#include "MainWindowFixture.h"

#include "ui/ControlTips.h"

#include "model/BandSlot.h"
#include "model/ControlMap.h"
#include "model/ParamCatalogue.h"
#include "model/ValueKinds.h"
#include "ui/Unit14.h"

#include <QGroupBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

namespace tr640::testing {
namespace {

using MainWindowLayoutTest = MainWindowFixture;

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

// --- Inventory ------------------------------------------------------------------

TEST_F(MainWindowLayoutTest, WindowIsAFixedSizeMainWindowWithItsCaption) {
    EXPECT_EQ(w().windowTitle(), "Halvane[TR640控制软件 v0.3]");
    // No display name of the application's own: the platform would append
    // it to every other window's and box's title.
    EXPECT_EQ(QApplication::applicationDisplayName(), QApplication::applicationName());
    EXPECT_EQ(w().size(), QSize(883, 565));
    EXPECT_EQ(w().minimumSize(), w().maximumSize());
    EXPECT_FALSE(w().windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w().windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(w().pos(), QPoint(246, 74));

    // Only the main window is shown; the link and status windows exist hidden.
    EXPECT_TRUE(w().isVisible());
    EXPECT_FALSE(linkWindow().isVisible());
    EXPECT_FALSE(program->statusWindow().isVisible());
    EXPECT_FALSE(program->compressorWindow().isVisible());
}

// A spot check of the inventory: names, places, items, kinds and hints.
TEST_F(MainWindowLayoutTest, ControlsCarryTheirNamesPlacesItemsAndHints) {
    const struct {
        const char* name;
        QRect geometry;
    } placed[] = {
        {"RzGroupBox1", {0, -4, 881, 41}},     {"LinkLabel", {16, 13, 417, 20}},
        {"SysTotalVolBar", {624, 8, 185, 33}},  {"AdvPageControl2", {0, 8, 428, 273}},
        {"RzGroupBox6", {10, -8, 383, 271}},    {"Mic2ModeBox5", {300, 16, 58, 21}},
        {"Mic1FreEdit3", {162, 38, 56, 21}},    {"Mic1GainBar2", {104, 99, 36, 150}},
        {"Mic2BypassCheck5", {304, 245, 60, 17}}, {"GroupBox1", {427, 3, 446, 277}},
        {"Mic2INGainBar", {24, 96, 185, 25}},   {"RzGroupBox4", {551, 16, 114, 241}},
        {"RzButton8", {744, 201, 97, 56}},      {"EQAdvPanel", {-1, 315, 884, 250}},
        {"AdvPanel2", {40, 20, 829, 212}},      {"MusEQAllPassBtn", {797, 4, 71, 13}},
    };
    for (const auto& p : placed) {
        auto* control = w().findChild<QWidget*>(p.name);
        ASSERT_NE(control, nullptr) << p.name;
        EXPECT_EQ(control->geometry(), p.geometry) << p.name;
    }
    // Every control of the map exists under its name, as the member of that name.
    for (const ControlPlacement& p : ControlPlacements())
        EXPECT_NE(w().findChild<QWidget*>(QString::fromStdString(p.valueControl)), nullptr) << p.valueControl;
    EXPECT_EQ(w().findChild<QCheckBox*>("Mic1BypassCheck4"), w().Mic1BypassCheck4);
    EXPECT_EQ(w().Band(1, 2).gainEdit, w().Mic2GainEdit3);
    EXPECT_EQ(w().EntryFields().size(), 43u);

    EXPECT_EQ(Items(w().Mic1ModeBox1), QStringList({"参量1", "低棚架", "高棚架", "高通", "低通"}));
    EXPECT_EQ(Items(w().Mic2ModeBox5).front(), "参量5");
    EXPECT_EQ(Items(w().SysFBEBox), QStringList({"OFF", "1级", "2级", "3级"}));
    EXPECT_EQ(Items(w().SysNoiseBox).size(), 9);
    EXPECT_EQ(Items(w().SysSaveModeBox), QStringList({"用户1", "用户2", "用户3", "用户4", "用户5"}));
    EXPECT_EQ(Items(w().Mic2PhaseBox), QStringList({"正向", "反向"}));
    EXPECT_EQ(Items(w().MICBASSBox), QStringList({"1", "2", "3", "4", "5"}));
    for (QComboBox* box : w().findChildren<QComboBox*>()) EXPECT_FALSE(box->isEditable());

    // Value kinds in the hints; read-only displays are never committed.
    const std::pair<QLineEdit*, const char*> kinds[] = {
        {w().Mic2FreEdit5, "2"},  {w().Mic1GainEdit2, "3"},     {w().Mic1QEdit3, "4"},
        {w().Mic2INGainEdit, "8"}, {w().MICHighFreEdit, "9"},   {w().MidRMSReleaseEdit, "16"},
        {w().HighRMSattackEdit, "17"}, {w().SysTotalVolEdit, "8"}, {w().MICLowFreEdit2, "3"},
    };
    for (const auto& [field, kind] : kinds) EXPECT_EQ(Hint(field), kind) << field->objectName().toStdString();
    for (QLineEdit* display : {w().SysTotalVolEdit, w().RzEdit7, w().MICHighFreEdit2, w().RzEdit12, w().Example})
        EXPECT_TRUE(display->isReadOnly());
    EXPECT_FALSE(w().Example->isVisibleTo(&w()));
    EXPECT_EQ(Hint(w().SysNoiseBox), "7");
    EXPECT_EQ(Hint(w().Mic1INGainBar), "0");
    EXPECT_EQ(Hint(w().Mic2BypassCheck3), "Bypass");
    EXPECT_EQ(Hint(w().RzButton8), "Connect");
    // The only tooltips are the catalogue's, on the controls that set a value.
    for (QWidget* control : w().findChildren<QWidget*>())
        EXPECT_EQ(control->toolTip(), ControlTip(control->objectName(), kLanguageChinese))
            << control->objectName().toStdString();

    EXPECT_EQ(w().Mic1GainBar5->maximum(), 210);
    EXPECT_EQ(w().Mic1GainBar5->tickInterval(), 21);
    EXPECT_EQ(w().Mic1GainBar5->pageStep(), 2);
    EXPECT_EQ(w().SysTotalVolBar->maximum(), 100);
    EXPECT_EQ(w().Mic1INGainBar->maximum(), 200);
    EXPECT_EQ(w().RzEdit12->text(), "20600Hz ");
    EXPECT_EQ(w().LinkLabel->text(), "离线模式");
    EXPECT_EQ(w().LinkLabel->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(w().RzLine2->Caption(), "PC文件");
}

// The band type box of a band's entry: "mic1.eq2.q.other" -> Mic1ModeBox2.
QComboBox* TypeBox(TForm1& window, const ParamEntry& e) {
    const std::string band = e.name.substr(0, e.name.find(".eq") + 5);
    return window.findChild<QComboBox*>(QString::fromStdString(FindParam(band + "type")->valueControl));
}

// Every control shows its parameter as the catalogue describes it: a
// field's kind, a box's items, a bar's reach, and a field's limits, which
// numbers typed far beyond them reach.
TEST_F(MainWindowLayoutTest, EveryControlAgreesWithItsCatalogueEntry) {
    for (const ParamEntry& e : ParamCatalogue()) {
        SCOPED_TRACE(e.name);
        const QString value = QString::fromStdString(e.valueControl);
        if (auto* box = w().findChild<QComboBox*>(value)) {
            QStringList texts;
            for (const ParamItem& item : e.items) texts << QString::fromStdString(WindowItemText(item));
            EXPECT_EQ(Items(box), texts);
        }
        if (auto* bar = w().findChild<QSlider*>(QString::fromStdString(e.companionControl))) {
            EXPECT_GE(bar->minimum(), e.min);
            EXPECT_LE(bar->maximum(), e.max);
        }
        auto* field = w().findChild<QLineEdit*>(value);
        if (!field || e.format != ParamFormat::Kind) continue;
        EXPECT_EQ(Hint(field), QString::number(e.kind));
        if (field->isReadOnly()) continue;
        // A Q field stands for its other slot while the band is a shelf.
        if (e.name.ends_with(".q.other")) Choose(TypeBox(w(), e), 1);
        for (const auto& [typed, limit] : {std::pair{"99999", e.max}, std::pair{"-99999", e.min}}) {
            Retype(field, typed);
            Key(field, Qt::Key_Return);
            EXPECT_EQ(store().Shown(e.address), limit) << typed;
        }
    }
}

TEST_F(MainWindowLayoutTest, BothPageControlsShowTabsTheUserCanReach) {
    QTabBar* outer = w().AdvPageControl1->tabBar();
    ASSERT_EQ(w().AdvPageControl1->count(), 2);
    EXPECT_EQ(w().AdvPageControl1->widget(0), w().MainPage);
    EXPECT_EQ(w().AdvPageControl1->widget(1), w().DynamicsPage);
    EXPECT_TRUE(outer->isVisible());
    auto inWindow = [this](const QWidget* widget, QRect rect) {
        return QRect(widget->mapTo(&w(), rect.topLeft()), rect.size());
    };
    for (int i = 0; i < 2; ++i) {
        // Each tab is in the window, clear of the top bar, the graph's drawing
        // surface and the reset button, and it is the page control's to click.
        const QRect tab = inWindow(outer, outer->tabRect(i));
        EXPECT_TRUE(QRect(0, 0, 883, 565).contains(tab)) << i;
        EXPECT_FALSE(tab.intersects(w().RzGroupBox1->geometry())) << i;
        EXPECT_FALSE(tab.intersects(inWindow(w().AdvPanel2, w().AdvPanel2->rect()))) << i;
        EXPECT_FALSE(tab.intersects(inWindow(w().MusEQAllPassBtn, w().MusEQAllPassBtn->rect()))) << i;
        EXPECT_EQ(w().childAt(tab.center()), outer) << i;
    }
    // Beside the tabs, the graph panel's own controls take the clicks.
    const QRect reset = inWindow(w().MusEQAllPassBtn, w().MusEQAllPassBtn->rect());
    EXPECT_EQ(w().childAt(reset.center()), w().MusEQAllPassBtn);
    QTest::mouseClick(outer, Qt::LeftButton, {}, outer->tabRect(1).center());
    EXPECT_EQ(w().AdvPageControl1->currentIndex(), 1);
    // The click gives the tabs the keyboard; the arrow keys turn the pages.
    EXPECT_TRUE(outer->hasFocus());
    QTest::keyClick(outer, Qt::Key_Left);
    EXPECT_EQ(w().AdvPageControl1->currentIndex(), 0);
    // The pages end where the graph panel begins.
    EXPECT_EQ(inWindow(w().MainPage, w().MainPage->rect()).bottom(), w().EQAdvPanel->y() - 1);

    EXPECT_EQ(w().AdvPageControl2->tabPosition(), QTabWidget::West);
    EXPECT_EQ(w().AdvPageControl2->tabText(0), "话筒1");
    EXPECT_EQ(w().AdvPageControl2->tabText(1), "话筒2");
    EXPECT_TRUE(w().AdvPageControl2->tabBar()->isVisibleTo(w().MainPage));
}

TEST_F(MainWindowLayoutTest, TagsAfterStartUp) {
    // Mapped controls carry their address; a Q field keeps its slot 4.
    for (const ControlPlacement& p : ControlPlacements()) {
        const QWidget* value = w().findChild<QWidget*>(QString::fromStdString(p.valueControl));
        const bool qSlot3 = Hint(value) == "4" && BandSlot(p.address, 0)->slot == kSlotQ;
        EXPECT_EQ(Tag(value), qSlot3 ? p.address + 1 : p.address) << p.valueControl;
    }
    EXPECT_EQ(Tag(w().Mic2FreEdit5), 0x0130);
    EXPECT_EQ(Tag(w().Mic1GainBar3), 0x010E);
    EXPECT_EQ(Tag(w().Mic2BypassCheck1), 0x011B);

    // Handles by their place in the handle array; only EP1 .. EP4 start shown.
    for (int i = 0; i < TForm1::kHandleCount; ++i) {
        EXPECT_EQ(Tag(w().BandHandles[i]), i);
        EXPECT_EQ(w().BandHandles[i]->isVisibleTo(w().AdvPanel2), i < 4) << i;
    }
    EXPECT_EQ(w().BandHandles[16], w().LPF);
    EXPECT_EQ(w().HPF->size(), QSize(24, 24));
    EXPECT_EQ(w().EP15->size(), QSize(14, 14));
    // Curve buttons name their dynamics band.
    EXPECT_EQ(Tag(w().RzButton1), 0);
    EXPECT_EQ(Tag(w().RzButton3), 2);
}

// --- Start-up with no device --------------------------------------------------------

TEST_F(MainWindowLayoutTest, StartUpShowsTheEqDefaultsAndOneEverywhereElse) {
    const char* frequencies[5] = {"30.0Hz", "66.0Hz", "229.0Hz", "976.0Hz", "4393.0Hz"};
    for (int mic = 0; mic < 2; ++mic) {
        for (int band = 0; band < 5; ++band) {
            const auto& c = w().Band(mic, band);
            SCOPED_TRACE(::testing::Message() << "mic " << mic << " band " << band);
            EXPECT_EQ(c.modeBox->currentIndex(), 0);
            EXPECT_EQ(c.modeBox->currentText(), QString("参量%1").arg(band + 1));
            EXPECT_FALSE(c.bypassCheck->isChecked());
            EXPECT_EQ(c.freEdit->text(), frequencies[band]);
            EXPECT_EQ(c.gainEdit->text(), "0.0dB");
            EXPECT_EQ(c.gainBar->value(), 150);
            EXPECT_EQ(c.qEdit->text(), "4.00");
        }
    }
    EXPECT_EQ(Text(w().SysNoiseBox), "2级");
    EXPECT_EQ(Text(w().SysFBEBox), "1级");
    EXPECT_EQ(Text(w().SysModeBox), "用户2");
    EXPECT_EQ(Text(w().SysSaveModeBox), "用户2");
    EXPECT_EQ(Text(w().Mic1PhaseBox), "反向");
    EXPECT_EQ(Text(w().Mic2PhaseBox), "反向");
    EXPECT_EQ(Text(w().MICBASSBox), "2");
    for (QLineEdit* volume : {w().Mic1INGainEdit, w().Mic2INGainEdit, w().SysTotalVolEdit})
        EXPECT_EQ(volume->text(), "1%");
    for (QSlider* bar : {w().Mic1INGainBar, w().Mic2INGainBar, w().SysTotalVolBar}) EXPECT_EQ(bar->value(), 1);
    for (QLineEdit* crossover : {w().MICLowFreEdit, w().MICHighFreEdit, w().MICLowFreEdit2, w().MICHighFreEdit2})
        EXPECT_EQ(crossover->text(), "1.0Hz");
    for (QLineEdit* time : {w().LowRMSattackEdit, w().LowRMSHoldEdit, w().MidRMSattackEdit, w().MidRMSHoldEdit,
                            w().HighRMSattackEdit, w().HighRMSHoldEdit})
        EXPECT_EQ(time->text(), "1.0ms");
    for (QLineEdit* release : {w().LowRMSReleaseEdit, w().MidRMSReleaseEdit, w().HighRMSReleaseEdit})
        EXPECT_EQ(release->text(), "Atk x 2");
    EXPECT_EQ(w().RzEdit7->text(), "20Hz");
    EXPECT_EQ(w().AdvPageControl1->currentIndex(), 0);
}

TEST_F(MainWindowLayoutTest, StartUpLeavesTheImagesEqualAndSendsNothing) {
    for (int page = 0; page <= kLastPage; ++page) {
        for (int index = 0; index < kPageCount[page]; ++index) {
            const int address = MakeAddress(page, index);
            EXPECT_EQ(store().Shown(address), store().Device(address)) << address;
            const auto band = BandSlot(address, 0);
            const bool eq = page == 1 && band;
            EXPECT_EQ(store().Shown(address), eq ? EqBandDefault(band->band, band->slot) : 1) << address;
        }
    }
    EXPECT_TRUE(transport.Written().empty());
    EXPECT_TRUE(dialogs->calls.empty());
    EXPECT_EQ(link().Vars().sendSuppressed, 0);
}

TEST_F(MainWindowLayoutTest, StartUpSelectsTheFirstFrequencyFieldAndAsksForOneRedraw) {
    EXPECT_EQ(state().currentField, w().Mic1FreEdit1);
    EXPECT_EQ(QApplication::focusWidget(), w().Mic1FreEdit1);
    EXPECT_TRUE(state().wheelArmed);
    EXPECT_EQ(state().lastAcceptedText, "30.0Hz");
    EXPECT_EQ(state().lastChange, (CurveChange{0x0103, 30}));
    EXPECT_FALSE(state().refreshInProgress);

    // Set up once with the labels; the refresh ends with a redraw without
    // readout; the timer's first tick then shows the selected band.
    EXPECT_EQ(graph.setUps, std::vector<bool>{true});
    ASSERT_EQ(graph.draws.size(), 1u);
    EXPECT_EQ(graph.draws.back(), (RecordingGraph::Draw{TForm1::kNoBand, 0}));
    w().Timer1Timer();
    EXPECT_EQ(graph.draws.back(), (RecordingGraph::Draw{0, 0}));
    EXPECT_EQ(graph.dragSteps, 1);
    w().Timer1Timer();
    EXPECT_EQ(graph.draws.size(), 2u);
}

TEST(MainWindowTimer, StartsWithTheFirstShowingAndTicksEvery20Ms) {
    QuietOffscreen quiet;
    VirtualTr640 device;
    VirtualTransport transport(device);
    Program program(transport, std::make_unique<ScriptedDialogs>());
    EXPECT_EQ(program.mainWindow().Timer1->interval(), 20);
    EXPECT_FALSE(program.mainWindow().Timer1->isActive());
    program.Start();
    EXPECT_TRUE(program.mainWindow().Timer1->isActive());
    // Showing again (after a minimize) builds nothing anew.
    program.mainWindow().hide();
    program.mainWindow().Mic1GainBar1->setValue(170);
    program.Start();
    EXPECT_EQ(program.mainWindow().Mic1GainEdit1->text(), "4.0dB");
}

}  // namespace
}  // namespace tr640::testing
