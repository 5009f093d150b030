// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls: where each one sits, what it shows at
// creation and which hint and tag it carries. The handlers are in Unit1.cpp.

#include "model/ParamCatalogue.h"
#include "model/ValueKinds.h"
#include "ui/ControlTag.h"
#include "ui/Controls.h"
#include "ui/Unit1.h"
#include "ui/Unit4.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QtMath>

namespace tr640 {

namespace {

template <typename Control, typename... Args>
Control* Make(QWidget* parent, const char* name, const QRect& geometry, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    return control;
}

// A label sized to its text, like an auto-sized label.
QLabel* MakeLabel(QWidget* parent, const char* name, int left, int top, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    if (name) label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->adjustSize();
    label->move(left, top);
    return label;
}

// The catalogue's entry of a control (either layer). Every control built
// through it is one: a name missing from the catalogue is a layout error
// that the layout test reports.
const ParamEntry& EntryOf(const char* control) {
    static const ParamEntry none;
    const ParamEntry* entry = FindParamOfControl(control);
    return entry ? *entry : none;
}

// An item as the windows show it in the chosen language.
QString ItemCaption(int language, const ParamItem& item) {
    const QString text = Tr(language, item.windowText.c_str());
    return text.contains(QLatin1String("%1")) ? text.arg(item.number) : text;
}

// A drop-down list the user cannot type into, with its parameter's items.
QComboBox* MakeListBox(QWidget* parent, const char* name, const QRect& geometry, int language) {
    auto* box = Make<QComboBox>(parent, name, geometry);
    box->setEditable(false);
    for (const ParamItem& item : EntryOf(name).items) box->addItem(ItemCaption(language, item));
    box->setCurrentIndex(0);
    SetHint(box, QStringLiteral("7"));
    return box;
}

QSlider* MakeBar(QWidget* parent, const char* name, const QRect& geometry, Qt::Orientation orientation,
                 int maximum) {
    auto* bar = Make<QSlider>(parent, name, geometry, orientation);
    bar->setRange(0, maximum);
    return bar;
}

// A track bar that spans its parameter's limits.
QSlider* MakeFullBar(QWidget* parent, const char* name, const QRect& geometry, Qt::Orientation orientation) {
    const ParamEntry& e = EntryOf(name);
    auto* bar = Make<QSlider>(parent, name, geometry, orientation);
    bar->setRange(e.min, e.max);
    return bar;
}

// A read-only field that shows a text and edits nothing. It carries the
// gain kind in its hint, as the displays always have; nothing commits it.
QLineEdit* MakeDisplayField(QWidget* parent, const char* name, const QRect& geometry) {
    auto* field = Make<QLineEdit>(parent, name, geometry);
    SetHint(field, QString::number(kKindBandGain));
    field->setReadOnly(true);
    return field;
}

// The picture of a band handle: a ring with the band's number, on a
// transparent ground so that the curve shows around it. Drawn at the
// screens' device pixel ratio, so that it stays as sharp as the curve
// under it on a high-density screen.
QImage HandlePicture(int side, const QString& text, const QColor& colour) {
    const qreal ratio = qApp->devicePixelRatio();
    QImage image(qCeil(side * ratio), qCeil(side * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 1.5));
    painter.setBrush(QColor(colour.red(), colour.green(), colour.blue(), 70));
    painter.drawEllipse(QRectF(1, 1, side - 2, side - 2));
    QFont font = painter.font();
    font.setPixelSize(side <= 14 ? 9 : 10);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, side, side), Qt::AlignCenter, text);
    return image;
}

constexpr int kBandLeftsBox[5] = {24, 94, 162, 231, 300};
constexpr int kBandLeftsEdit[5] = {24, 93, 162, 231, 300};
constexpr int kBandLeftsBar[5] = {35, 104, 173, 242, 311};
constexpr int kBandLeftsCheck[5] = {28, 97, 166, 235, 304};

}  // namespace

QLineEdit* TForm1::MakeEntryField(QWidget* parent, const char* name, const QRect& geometry) {
    auto* field = Make<QLineEdit>(parent, name, geometry);
    // The hint carries the value kind that the field's handlers go by.
    SetHint(field, QString::number(EntryOf(name).kind));
    return field;
}

void TForm1::BuildTopBar() {
    // Drawn above the outer pages; its frame is the window's top edge.
    RzGroupBox1 = Make<QGroupBox>(this, "RzGroupBox1", QRect(0, -4, 881, 41));

    LinkLabel = Make<QLabel>(RzGroupBox1, "LinkLabel", QRect(16, 13, 417, 20));
    LinkLabel->setText(Tr(language_, "离线模式"));
    LinkLabel->setTextFormat(Qt::PlainText);
    LinkLabel->setAlignment(Qt::AlignCenter);
    LinkLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont bold = LinkLabel->font();
    bold.setBold(true);
    LinkLabel->setFont(bold);
    QPalette silver = LinkLabel->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    LinkLabel->setPalette(silver);
    LinkLabel->setAutoFillBackground(true);

    LinkBtn = Make<QPushButton>(RzGroupBox1, "LinkBtn", QRect(449, 10, 48, 25));
    SetBilingualCaption(LinkBtn, language_, "联机");

    Label9 = MakeLabel(RzGroupBox1, "Label9", 541, 18, Tr(language_, "输出总音量"));

    // The master bar reaches half the volume's range; the field shows all of it.
    SysTotalVolBar = MakeBar(RzGroupBox1, "SysTotalVolBar", QRect(624, 8, 185, 33), Qt::Horizontal, 100);
    SetHint(SysTotalVolBar, QStringLiteral("0"));

    SysTotalVolEdit = MakeEntryField(RzGroupBox1, "SysTotalVolEdit", QRect(822, 12, 43, 21));
    SysTotalVolEdit->setReadOnly(true);
    // Read-only by design (the bar sets it): drawn on the window's own
    // colour, so that it does not look like a field to type into.
    {
        QPalette readOnly = SysTotalVolEdit->palette();
        readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
        SysTotalVolEdit->setPalette(readOnly);
    }
    SysTotalVolEdit->setAlignment(Qt::AlignCenter);
    SysTotalVolEdit->setText(QStringLiteral("100%"));
}

void TForm1::BuildEqPage(QWidget* page, int mic) {
    const bool first = mic == 0;
    auto* group = Make<QGroupBox>(page, first ? "EchoEQGrop" : "RzGroupBox6", QRect(10, -8, 383, 271));
    (first ? EchoEQGrop : RzGroupBox6) = group;
    // Five-digit frequencies fill the narrow fields to the frame.
    group->setStyleSheet(QStringLiteral("QLineEdit { padding: 0px; }"));

    // The microphone's name runs down the left edge, one character a line.
    const QString micName = Tr(language_, "话筒%1").arg(mic + 1);
    auto* label = Make<QLabel>(group, first ? "Mic1Label" : "Mic2Label", QRect(2, 160, 16, 48));
    label->setText(micName);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    (first ? Mic1Label : Mic2Label) = label;

    const QString prefix = first ? QStringLiteral("Mic1") : QStringLiteral("Mic2");
    auto name = [&prefix](const char* kind, int n) {
        return (prefix + QString::fromLatin1(kind) + QString::number(n)).toLatin1();
    };
    for (int b = 0; b < 5; ++b) {
        const int n = b + 1;
        BandColumn& column = bands_[mic][b];

        column.modeBox = MakeListBox(group, name("ModeBox", n).constData(),
                                     QRect(kBandLeftsBox[b], 16, b == 0 ? 57 : 58, 21), language_);

        column.freEdit = MakeEntryField(group, name("FreEdit", n).constData(),
                                        QRect(kBandLeftsEdit[b], 38, 56, 21));
        column.freEdit->setText(QStringLiteral("1000Hz"));
        column.qEdit = MakeEntryField(group, name("QEdit", n).constData(), QRect(kBandLeftsEdit[b], 60, 56, 21));
        column.qEdit->setText(QStringLiteral("1.0"));
        column.gainEdit = MakeEntryField(group, name("GainEdit", n).constData(),
                                         QRect(kBandLeftsEdit[b], 82, 56, 21));
        column.gainEdit->setText(QStringLiteral("0.0dB"));

        column.gainBar = MakeFullBar(group, name("GainBar", n).constData(), QRect(kBandLeftsBar[b], 99, 36, 150),
                                     Qt::Vertical);
        column.gainBar->setTickInterval(21);
        column.gainBar->setTickPosition(QSlider::TicksBothSides);
        column.gainBar->setPageStep(2);
        column.gainBar->setValue(150);

        column.bypassCheck = Make<QCheckBox>(group, name("BypassCheck", n).constData(),
                                             QRect(kBandLeftsCheck[b], 245, 60, 17));
        SetBilingualCaption(column.bypassCheck, language_, "直通");

        // A line edit keeps two pixels of its own either side of the text:
        // a five-digit frequency ("20000.0Hz") is wider than what that leaves
        // of the 56-pixel field and would scroll its first digit under the
        // frame. The column's fields give those pixels to the text.
        for (QLineEdit* field : {column.freEdit, column.qEdit, column.gainEdit}) {
            field->setTextMargins(-2, 0, -2, 0);
            entryFields_.push_back(field);
        }
    }

    // The named members of each column, as the handlers and the map know them.
    struct ColumnMembers {
        QComboBox** modeBox;
        QLineEdit** freEdit;
        QLineEdit** qEdit;
        QLineEdit** gainEdit;
        QSlider** gainBar;
        QCheckBox** bypassCheck;
    };
    const ColumnMembers members[2][5] = {
        {{&Mic1ModeBox1, &Mic1FreEdit1, &Mic1QEdit1, &Mic1GainEdit1, &Mic1GainBar1,
          &Mic1BypassCheck1},
         {&Mic1ModeBox2, &Mic1FreEdit2, &Mic1QEdit2, &Mic1GainEdit2, &Mic1GainBar2,
          &Mic1BypassCheck2},
         {&Mic1ModeBox3, &Mic1FreEdit3, &Mic1QEdit3, &Mic1GainEdit3, &Mic1GainBar3,
          &Mic1BypassCheck3},
         {&Mic1ModeBox4, &Mic1FreEdit4, &Mic1QEdit4, &Mic1GainEdit4, &Mic1GainBar4,
          &Mic1BypassCheck4},
         {&Mic1ModeBox5, &Mic1FreEdit5, &Mic1QEdit5, &Mic1GainEdit5, &Mic1GainBar5,
          &Mic1BypassCheck5}},
        {{&Mic2ModeBox1, &Mic2FreEdit1, &Mic2QEdit1, &Mic2GainEdit1, &Mic2GainBar1,
          &Mic2BypassCheck1},
         {&Mic2ModeBox2, &Mic2FreEdit2, &Mic2QEdit2, &Mic2GainEdit2, &Mic2GainBar2,
          &Mic2BypassCheck2},
         {&Mic2ModeBox3, &Mic2FreEdit3, &Mic2QEdit3, &Mic2GainEdit3, &Mic2GainBar3,
          &Mic2BypassCheck3},
         {&Mic2ModeBox4, &Mic2FreEdit4, &Mic2QEdit4, &Mic2GainEdit4, &Mic2GainBar4,
          &Mic2BypassCheck4},
         {&Mic2ModeBox5, &Mic2FreEdit5, &Mic2QEdit5, &Mic2GainEdit5, &Mic2GainBar5,
          &Mic2BypassCheck5}}};
    for (int b = 0; b < 5; ++b) {
        const BandColumn& column = bands_[mic][b];
        const ColumnMembers& m = members[mic][b];
        *m.modeBox = column.modeBox;
        *m.freEdit = column.freEdit;
        *m.qEdit = column.qEdit;
        *m.gainEdit = column.gainEdit;
        *m.gainBar = column.gainBar;
        *m.bypassCheck = column.bypassCheck;
    }
}

void TForm1::BuildSystemGroup() {
    GroupBox1 = Make<QGroupBox>(MainPage, "GroupBox1", QRect(427, 3, 446, 277));

    // Microphone parameters, left.
    RzGroupBox9 = Make<QGroupBox>(GroupBox1, "RzGroupBox9", QRect(4, 12, 218, 260), Tr(language_, "话筒参数"));
    Label37 = MakeLabel(RzGroupBox9, "Label37", 10, 24, Tr(language_, "话筒1输入音量"));
    Mic1INGainEdit = MakeEntryField(RzGroupBox9, "Mic1INGainEdit", QRect(150, 20, 56, 21));
    Mic1INGainEdit->setText(QStringLiteral("100%"));
    Mic1INGainBar = MakeFullBar(RzGroupBox9, "Mic1INGainBar", QRect(24, 40, 185, 33), Qt::Horizontal);
    SetHint(Mic1INGainBar, QStringLiteral("0"));
    Label39 = MakeLabel(RzGroupBox9, "Label39", 10, 80, Tr(language_, "话筒2输入音量"));
    Mic2INGainEdit = MakeEntryField(RzGroupBox9, "Mic2INGainEdit", QRect(150, 76, 56, 21));
    Mic2INGainEdit->setText(QStringLiteral("100%"));
    Mic2INGainBar = MakeFullBar(RzGroupBox9, "Mic2INGainBar", QRect(24, 96, 185, 25), Qt::Horizontal);
    SetHint(Mic2INGainBar, QStringLiteral("0"));

    Label38 = MakeLabel(RzGroupBox9, "Label38", 10, 134, Tr(language_, "话筒1相位"));
    Mic1PhaseBox = MakeListBox(RzGroupBox9, "Mic1PhaseBox", QRect(110, 130, 96, 21), language_);
    Label40 = MakeLabel(RzGroupBox9, "Label40", 10, 164, Tr(language_, "话筒2相位"));
    Mic2PhaseBox = MakeListBox(RzGroupBox9, "Mic2PhaseBox", QRect(110, 160, 96, 21), language_);
    RzLine3 = Make<CaptionLine>(RzGroupBox9, "RzLine3", QRect(8, 192, 202, 16), Tr(language_, "话筒PowerEx"));
    Label17 = MakeLabel(RzGroupBox9, "Label17", 10, 222, Tr(language_, "PowerEx："));
    MICBASSBox = MakeListBox(RzGroupBox9, "MICBASSBox", QRect(110, 218, 96, 21), language_);

    // System settings, right.
    RzGroupBox7 = Make<QGroupBox>(GroupBox1, "RzGroupBox7", QRect(223, 12, 216, 260), Tr(language_, "系统"));
    Label15 = MakeLabel(RzGroupBox7, "Label15", 10, 26, Tr(language_, "防啸叫功能："));
    SysFBEBox = MakeListBox(RzGroupBox7, "SysFBEBox", QRect(118, 22, 88, 21), language_);
    Label16 = MakeLabel(RzGroupBox7, "Label16", 10, 54, Tr(language_, "话筒噪声门级数："));
    SysNoiseBox = MakeListBox(RzGroupBox7, "SysNoiseBox", QRect(118, 50, 88, 21), language_);
    RzLine1 = Make<CaptionLine>(RzGroupBox7, "RzLine1", QRect(8, 80, 200, 16), Tr(language_, "设备模式"));
    Label12 = MakeLabel(RzGroupBox7, "Label12", 10, 108, Tr(language_, "调用模式:"));
    SysModeBox = MakeListBox(RzGroupBox7, "SysModeBox", QRect(118, 104, 88, 21), language_);
    Label11 = MakeLabel(RzGroupBox7, "Label11", 10, 136, Tr(language_, "当前模式保存为："));
    SysSaveModeBox = MakeListBox(RzGroupBox7, "SysSaveModeBox", QRect(118, 132, 88, 21), language_);
    RzLine2 = Make<CaptionLine>(RzGroupBox7, "RzLine2", QRect(8, 162, 200, 16), Tr(language_, "PC文件"));
    Label13 = MakeLabel(RzGroupBox7, "Label13", 10, 192, Tr(language_, "加载电脑数据到设备："));
    RzButton4 = Make<QPushButton>(RzGroupBox7, "RzButton4", QRect(140, 187, 66, 25), Tr(language_, "加载"));
    Label14 = MakeLabel(RzGroupBox7, "Label14", 10, 226, Tr(language_, "保存设备数据到电脑："));
    RzButton6 = Make<QPushButton>(RzGroupBox7, "RzButton6", QRect(140, 221, 66, 25), Tr(language_, "保存"));

    entryFields_.push_back(Mic1INGainEdit);
    entryFields_.push_back(Mic2INGainEdit);
}

void TForm1::BuildMainPage() {
    AdvPageControl2 = Make<QTabWidget>(MainPage, "AdvPageControl2", QRect(0, 8, 428, 273));
    AdvPageControl2->setTabPosition(QTabWidget::West);
    AdvPageControl2->setStyleSheet(QStringLiteral("QTabBar::tab { width: 25px; height: 110px; }"));
    for (int mic = 0; mic < 2; ++mic) {
        auto* page = new QWidget;
        page->setObjectName(mic == 0 ? QStringLiteral("Mic1Page") : QStringLiteral("Mic2Page"));
        AdvPageControl2->addTab(page, Tr(language_, mic == 0 ? "话筒1" : "话筒2"));
        BuildEqPage(page, mic);
    }
    BuildSystemGroup();
}

void TForm1::BuildDynamicsPage() {
    RzGroupBox5 = Make<QGroupBox>(DynamicsPage, "RzGroupBox5", QRect(15, 12, 850, 262),
                                  Tr(language_, "三分频详细调节参数"));

    // Crossover table: the middle column shows what the right column sets.
    Label21 = Make<QLabel>(RzGroupBox5, "Label21", QRect(115, 28, 60, 16));
    Label21->setText(QStringLiteral("Min"));
    Label21->setAlignment(Qt::AlignCenter);
    Label22 = Make<QLabel>(RzGroupBox5, "Label22", QRect(179, 28, 60, 16));
    Label22->setText(QStringLiteral("Max"));
    Label22->setAlignment(Qt::AlignCenter);

    Label18 = MakeLabel(RzGroupBox5, "Label18", 10, 52, Tr(language_, "低音的频率范围："));
    RzEdit7 = MakeDisplayField(RzGroupBox5, "RzEdit7", QRect(115, 48, 60, 21));
    RzEdit7->setText(QStringLiteral("20Hz"));
    MICLowFreEdit = MakeEntryField(RzGroupBox5, "MICLowFreEdit", QRect(179, 48, 60, 21));
    MICLowFreEdit->setText(QStringLiteral("200Hz"));

    Label19 = MakeLabel(RzGroupBox5, "Label19", 10, 82, Tr(language_, "中音的频率范围："));
    MICLowFreEdit2 = MakeDisplayField(RzGroupBox5, "MICLowFreEdit2", QRect(115, 78, 60, 21));
    MICLowFreEdit2->setText(QStringLiteral("200Hz"));
    MICHighFreEdit = MakeEntryField(RzGroupBox5, "MICHighFreEdit", QRect(179, 78, 60, 21));
    MICHighFreEdit->setText(QStringLiteral("2000Hz"));

    Label20 = MakeLabel(RzGroupBox5, "Label20", 10, 112, Tr(language_, "高音的频率范围："));
    MICHighFreEdit2 = MakeDisplayField(RzGroupBox5, "MICHighFreEdit2", QRect(115, 108, 60, 21));
    MICHighFreEdit2->setText(QStringLiteral("2000Hz"));
    RzEdit12 = MakeDisplayField(RzGroupBox5, "RzEdit12", QRect(179, 108, 60, 21));
    RzEdit12->setText(QStringLiteral("20600Hz "));

    entryFields_.push_back(MICLowFreEdit);
    entryFields_.push_back(MICHighFreEdit);

    // The three dynamics bands side by side.
    struct DynamicsBand {
        QGroupBox** group;
        const char* groupName;
        int left;
        const char* caption;
        const char* prefix;
        QLineEdit** attack;
        QLineEdit** hold;
        QLineEdit** release;
        QPushButton** curve;
        const char* curveName;
    };
    const DynamicsBand dynamicsBands[3] = {
        {&RzGroupBox8, "RzGroupBox8", 311, "低音动态调节", "Low", &LowRMSattackEdit, &LowRMSHoldEdit,
         &LowRMSReleaseEdit, &RzButton1, "RzButton1"},
        {&RzGroupBox2, "RzGroupBox2", 431, "中音动态调节", "Mid", &MidRMSattackEdit, &MidRMSHoldEdit,
         &MidRMSReleaseEdit, &RzButton2, "RzButton2"},
        {&RzGroupBox4, "RzGroupBox4", 551, "高音动态调节", "High", &HighRMSattackEdit, &HighRMSHoldEdit,
         &HighRMSReleaseEdit, &RzButton3, "RzButton3"},
    };
    for (int k = 0; k < 3; ++k) {
        const DynamicsBand& d = dynamicsBands[k];
        auto* group = Make<QGroupBox>(RzGroupBox5, d.groupName, QRect(d.left, 16, 114, 241),
                                      Tr(language_, d.caption));
        *d.group = group;
        const QByteArray prefix(d.prefix);
        MakeLabel(group, (prefix + "RMSattackLabel").constData(), 10, 26, Tr(language_, "启动时间"));
        *d.attack = MakeEntryField(group, (prefix + "RMSattackEdit").constData(), QRect(10, 44, 94, 21));
        MakeLabel(group, (prefix + "RMSHoldLabel").constData(), 10, 76, Tr(language_, "保持时间"));
        *d.hold = MakeEntryField(group, (prefix + "RMSHoldEdit").constData(), QRect(10, 94, 94, 21));
        MakeLabel(group, (prefix + "RMSReleaseLabel").constData(), 10, 126, Tr(language_, "释放时间"));
        *d.release = MakeEntryField(group, (prefix + "RMSReleaseEdit").constData(), QRect(10, 144, 94, 21));
        (*d.attack)->setText(QStringLiteral("100ms"));
        (*d.hold)->setText(QStringLiteral("100ms"));
        (*d.release)->setText(QStringLiteral("Atk x 2"));
        *d.curve = Make<QPushButton>(group, d.curveName, QRect(10, 192, 94, 30), Tr(language_, "曲线"));
        // The layout's tag names the dynamics band the curve button opens.
        SetTag(*d.curve, k);
        entryFields_.push_back(*d.attack);
        entryFields_.push_back(*d.hold);
        entryFields_.push_back(*d.release);
    }

    RzButton8 = Make<QPushButton>(RzGroupBox5, "RzButton8", QRect(744, 201, 97, 56), Tr(language_, "退出"));
    SetHint(RzButton8, QStringLiteral("Connect"));

    Example = MakeDisplayField(RzGroupBox5, "Example", QRect(744, 24, 60, 21));
    Example->setText(QStringLiteral("Example"));
    Example->hide();
}

void TForm1::BuildEqGraph() {
    EQAdvPanel = Make<QFrame>(this, "EQAdvPanel", QRect(-1, 315, 884, 250));
    QPalette dark = EQAdvPanel->palette();
    dark.setColor(QPalette::Window, QColor(12, 12, 12));
    dark.setColor(QPalette::WindowText, Qt::white);
    EQAdvPanel->setPalette(dark);
    EQAdvPanel->setAutoFillBackground(true);

    AdvPanel2 = Make<QWidget>(EQAdvPanel, "AdvPanel2", QRect(40, 20, 829, 212));

    Image1 = Make<BitmapImage>(AdvPanel2, "Image1", QRect(0, 0, 829, 212));
    QImage surface(829, 212, QImage::Format_RGB32);
    surface.fill(QColor(21, 21, 21));  // the graph's ground until the first drawing
    Image1->SetBitmap(surface);

    EQlabel = Make<QLabel>(AdvPanel2, "EQlabel", QRect(0, 0, 80, 40));
    EQlabel->setTextFormat(Qt::PlainText);
    EQlabel->setAlignment(Qt::AlignCenter);
    EQlabel->setText(QStringLiteral("+12dB\nQ:128.00\n12000.00Hz"));
    QFont bold = EQlabel->font();
    bold.setBold(true);
    EQlabel->setFont(bold);
    QPalette readout = EQlabel->palette();
    readout.setColor(QPalette::WindowText, QColor(199, 255, 255));
    EQlabel->setPalette(readout);
    EQlabel->setAttribute(Qt::WA_TranslucentBackground);
    EQlabel->adjustSize();
    EQlabel->move(12, 8);

    static const char* const kHandleNames[kHandleCount] = {"EP1",  "EP2",  "EP3",  "EP4", "EP5",  "EP6",
                                                           "EP7",  "EP8",  "EP9",  "EP10", "EP11", "EP12",
                                                           "EP13", "EP14", "EP15", "HPF", "LPF"};
    BitmapImage** const handleMembers[kHandleCount] = {&EP1,  &EP2,  &EP3,  &EP4,  &EP5,  &EP6,  &EP7, &EP8, &EP9,
                                                       &EP10, &EP11, &EP12, &EP13, &EP14, &EP15, &HPF, &LPF};
    for (int i = 0; i < kHandleCount; ++i) {
        const bool passHandle = i >= 15;
        const int side = passHandle ? 24 : 14;
        // Placed by the graph at every redraw; until then spread along the
        // 0 dB line so that none hides another.
        auto* handle = Make<BitmapImage>(AdvPanel2, kHandleNames[i], QRect(60 + 150 * (i % 5), 53, side, side));
        const QString text = passHandle ? QString::fromLatin1(kHandleNames[i]).left(1) : QString::number(i % 15 + 1);
        handle->SetBitmap(HandlePicture(side, text, QColor(255, 160, 40)));
        *handleMembers[i] = handle;
        if (i >= 4) handle->hide();
    }

    MusEQAllPassBtn = Make<QPushButton>(EQAdvPanel, "MusEQAllPassBtn", QRect(797, 4, 71, 13), Tr(language_, "EQ 复位"));
    SetHint(MusEQAllPassBtn, QStringLiteral("0"));
    MusEQAllPassBtn->setStyleSheet(QStringLiteral(
        "QPushButton { font-size: 10px; color: white; background-color: rgb(60, 60, 60);"
        " border: 1px solid rgb(110, 110, 110); padding: 0px; }"
        "QPushButton:pressed { background-color: rgb(90, 90, 90); }"));
}

}  // namespace tr640
