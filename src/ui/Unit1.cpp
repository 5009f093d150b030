// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Unit1.h"

#include "link/UnitSession.h"
#include "model/BandSlot.h"
#include "model/ParamCatalogue.h"
#include "ui/ControlTag.h"
#include "ui/ControlTips.h"
#include "ui/Controls.h"
#include "ui/QtDialogs.h"
#include "ui/Unit4.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegion>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QStringList>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tr640 {

namespace {

// Characters a value may be typed with; everything else is kept out of the
// fields at the keyboard and dropped from pasted text at the commit.
bool IsValueCharacter(QChar c) {
    return c == QLatin1Char('-') || c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

// Reads the kept characters as a decimal number with '.' as the separator.
// A lone sign or point, a sign inside the number ("1-2") or two points are
// not numbers; neither is a number too large for a double.
bool ReadNumber(const QString& text, double& number) {
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) return false;
    number = value;
    return true;
}

// The window's wheel handler sees every wheel event of the application
// before the widget under the pointer does. A filter object of its own, so
// that the window's per-control filters never see an event twice.
class WheelFilter final : public QObject {
public:
    explicit WheelFilter(TForm1& form) : QObject(&form), form_(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel) return false;
        auto* target = qobject_cast<QWidget*>(watched);
        if (!target || (target != &form_ && !form_.isAncestorOf(target))) return false;
        const QPoint angle = static_cast<QWheelEvent*>(event)->angleDelta();
        if (!form_.FormMouseWheel(angle.y() != 0 ? angle.y() : angle.x())) return false;
        event->accept();
        return true;
    }

private:
    TForm1& form_;
};

// Empty room before the outer page control's tabs.
class TabIndent final : public QWidget {
public:
    explicit TabIndent(int width) : width_(width) {}
    QSize sizeHint() const override { return {width_, 1}; }

private:
    int width_;
};

// Where the outer tabs start in the window: at the left edge of the graph's
// drawing surface (the graph panel sits one pixel left of the window's edge,
// the surface 40 pixels into it). Left of that the panel's top strip holds
// the level labels, "12dB" the highest of them.
constexpr int kOuterTabsLeft = 39;

}  // namespace

QString TForm1::Caption(int language) { return Tr(language, "Halvane[TR640控制软件 v0.3]"); }

TForm1::TForm1(ParamStore& store, ControlMap& controlMap, ModelState& state, const int& language, Dialogs& dialogs,
               QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      store_(store),
      map_(controlMap),
      state_(state),
      language_(language),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption(language_));
    setFixedSize(kClientWidth, kClientHeight);
    move(246, 74);

    // The outer pages first, so that the top bar and the graph panel are
    // drawn above them.
    AdvPageControl1 = new QTabWidget(this);
    AdvPageControl1->setObjectName(QStringLiteral("AdvPageControl1"));
    // The tabs hang below the pages, in the graph panel's top strip above
    // the drawing surface: above the pages the top bar leaves no room for
    // them, and left of the surface the strip carries the level labels.
    AdvPageControl1->setTabPosition(QTabWidget::South);
    AdvPageControl1->setDocumentMode(true);
    AdvPageControl1->setCornerWidget(new TabIndent(kOuterTabsLeft), Qt::BottomLeftCorner);
    // A click on a tab gives the tabs the keyboard, so that the arrow keys
    // turn the pages from there.
    AdvPageControl1->tabBar()->setFocusPolicy(Qt::StrongFocus);
    AdvPageControl1->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { height: 18px; }"));
    MainPage = new QWidget;
    MainPage->setObjectName(QStringLiteral("MainPage"));
    DynamicsPage = new QWidget;
    DynamicsPage->setObjectName(QStringLiteral("DynamicsPage"));
    AdvPageControl1->addTab(MainPage, Tr(language_, "话筒与系统"));
    AdvPageControl1->addTab(DynamicsPage, Tr(language_, "三分频动态"));
    // The pages fill the band between the top bar and the graph panel
    // (281 pixels from y 34); the tabs come below that.
    AdvPageControl1->setGeometry(0, 34, 881, 281 + AdvPageControl1->tabBar()->sizeHint().height());

    history_ = std::make_unique<ChangeHistory>(
        [this](int address, std::int32_t value) {
            NoteUnsent(address, store_.Shown(address), value);
            SendUnrecorded(address, value);
        },
        [this] { ShowReplayed(); });

    BuildMainPage();
    BuildDynamicsPage();
    BuildEqGraph();
    BuildTopBar();
    BuildMenu();
    AdvPageControl1->raise();
    AdvPageControl1->installEventFilter(this);
    AdvPageControl1->tabBar()->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(20);

    linkPort_ = std::make_unique<LinkLabelPort>(
        *LinkLabel, language_, dialogs_, [this] { RefreshAll(); },
        [this] {
            SelectFirstBandField();
            if (transferEnded_) transferEnded_();
        });

    BindEvents();
    ApplyControlTips(*this, language_);
    FormCreate();
}

TForm1::~TForm1() {
    Timer1->stop();
}

void TForm1::FormCreate() {
    // Qt paints every widget double-buffered already, AdvPanel2 included.
    BandHandles = {EP1, EP2, EP3, EP4, EP5, EP6, EP7, EP8, EP9, EP10, EP11, EP12, EP13, EP14, EP15, HPF, LPF};
    for (int i = 0; i < kHandleCount; ++i) SetTag(BandHandles[i], i);
    // Until a field is selected, the hidden field stands for "none".
    state_.currentField = Example;
    // The graph's set-up runs when the graph is handed over (SetEqGraph).
}

void TForm1::BindEvents() {
    for (QLineEdit* field : entryFields_) field->installEventFilter(this);

    for (const auto& mic : bands_) {
        for (const BandColumn& column : mic) {
            connect(column.modeBox, &QComboBox::currentIndexChanged, this,
                    [this, box = column.modeBox] { Mic1ModeBox1Change(box); });
            connect(column.bypassCheck, &QCheckBox::clicked, this,
                    [this, box = column.bypassCheck] { Mic1BypassCheck1Click(box); });
            connect(column.gainBar, &QSlider::valueChanged, this,
                    [this, bar = column.gainBar] { Mic1GainBar1Change(bar); });
        }
    }
    for (QSlider* bar : {SysTotalVolBar, Mic1INGainBar, Mic2INGainBar})
        connect(bar, &QSlider::valueChanged, this, [this, bar] { SysTotalVolBarChange(bar); });
    for (QComboBox* box : {SysFBEBox, SysNoiseBox, MICBASSBox, Mic1PhaseBox, Mic2PhaseBox})
        connect(box, &QComboBox::currentIndexChanged, this, [this, box] { SysFBEBoxChange(box); });
    for (QComboBox* box : {SysModeBox, SysSaveModeBox})
        connect(box, &QComboBox::currentIndexChanged, this, [this, box] { SysModeBoxChange(box); });
    for (QPushButton* button : {RzButton4, RzButton6})
        connect(button, &QPushButton::clicked, this, [this, button] { RzButton5Click(button); });
    for (QPushButton* button : {RzButton1, RzButton2, RzButton3})
        connect(button, &QPushButton::clicked, this, [this, button] { RzButton1Click(button); });
    connect(LinkBtn, &QPushButton::clicked, this, &TForm1::LinkBtnClick);
    connect(AdvPageControl2, &QTabWidget::currentChanged, this, &TForm1::AdvPageControl2Change);
    connect(MusEQAllPassBtn, &QPushButton::clicked, this, &TForm1::MusEQAllPassBtnClick);
    connect(RzButton8, &QPushButton::clicked, this, &TForm1::RzButton7Click);
    for (QSlider* bar : findChildren<QSlider*>())
        connect(bar, &QSlider::sliderPressed, this, [this] { history_->NewAction(); });
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    for (BitmapImage* handle : {EP1, EP2, EP3, EP4, EP5}) handle->installEventFilter(this);

    // The window takes the mouse wheel for all its controls.
    qApp->installEventFilter(new WheelFilter(*this));
}

// --- Wiring ------------------------------------------------------------------------

void TForm1::AttachLink(UnitSession& session) { link_ = &session; }

void TForm1::SetEqGraph(EqGraphHooks* graph) {
    eqGraph_ = graph;
    if (eqGraph_) eqGraph_->SetUpGraph(true);
}

void TForm1::SetCompressorOpener(std::function<void(int band)> open) { openCompressor_ = std::move(open); }

void TForm1::SetPresetFlows(std::function<void()> load, std::function<void()> save) {
    loadPreset_ = std::move(load);
    savePreset_ = std::move(save);
}

bool TForm1::SendsSuppressed() const { return link_ ? link_->SendsSuppressed() : unlinkedSendSuppressed_; }

void TForm1::SuppressSends(bool suppressed) {
    if (link_) {
        link_->SuppressSends(suppressed);
    } else {
        unlinkedSendSuppressed_ = suppressed;
    }
}

void TForm1::StoreValue(int address, std::int32_t value) {
    if (link_) {
        link_->Store(address, value);
    } else {
        store_.SetBoth(address, value);
    }
}

void TForm1::SendParameter(int address, std::int32_t value) { SendChange(address, store_.Shown(address), value); }

void TForm1::SendChange(int address, std::int32_t before, std::int32_t value) {
    // The mode commands act, they set nothing to go back to; and what goes
    // out while sends are held back (a refresh, a field selected) is no change.
    const bool command = address == kAddrModeRecall || address == kAddrModeSave;
    if (!command && !SendsSuppressed()) history_->Record(address, before, value);
    NoteUnsent(address, before, value);
    SendUnrecorded(address, value);
}

bool TForm1::Linked() const { return !link_ || linkPort_->SaysLinked(); }

void TForm1::ShowUnsentCount() {
    QString title = Caption(language_);
    if (!unsent_.empty())
        title += QStringLiteral(" - ") +
                 Tr(language_, "%1 项更改未发送到设备").replace(QStringLiteral("%1"), QString::number(unsent_.size()));
    setWindowTitle(title);
}

void TForm1::KeepAsUnsentChanges(const ParamStore& file) {
    const ParamStore before = store_;
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.format == ParamFormat::Command || e.format == ParamFormat::Bypass) continue;
        if (file.Device(e.address) == store_.Shown(e.address)) continue;
        StoreValue(e.address, file.Device(e.address));
        unsent_[e.address] = file.Device(e.address);
    }
    history_->NewAction();
    RecordTakenOver(before);
    ShowUnsentCount();
    ShowStoredValues();
}

void TForm1::RecordTakenOver(const ParamStore& before) {
    // The mode commands are no settings, and a bypass lives in its band's
    // type value, which is recorded once.
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.format == ParamFormat::Command || e.format == ParamFormat::Bypass) continue;
        history_->Record(e.address, before.Shown(e.address), store_.Shown(e.address));
    }
    history_->NewAction();
}

// The unit's values have just been read over the window's: one question,
// naming what the window held, decides which stay.
void TForm1::AskAboutUnsentChanges() {
    if (unsent_.empty() || !Linked()) return;
    const std::map<int, std::int32_t> kept = std::exchange(unsent_, {});
    ShowUnsentCount();
    QStringList names;
    for (const auto& [address, value] : kept)
        for (const ParamEntry& e : ParamCatalogue())
            if (e.address == address && e.format != ParamFormat::Bypass) names << ParamWindowName(e, language_);
    const QString question = Tr(language_, "未连接时做的 %1 项更改没有发送到设备：%2。")
                                 .replace(QStringLiteral("%1"), QString::number(kept.size()))
                                 .replace(QStringLiteral("%2"), names.join(QStringLiteral(", ")));
    if (!dialogs_.Choose(Tr(language_, "提示"), question, Tr(language_, "发送这些更改到设备"),
                         Tr(language_, "保留设备的值")))
        return;
    history_->NewAction();
    for (const auto& [address, value] : kept) SendParameter(address, value);
    history_->NewAction();
    ShowStoredValues();
}

void TForm1::SayNothingHappened(const char* chinese) { dialogs_.PlainMessage(Tr(language_, chinese)); }

void TForm1::NoteUnsent(int address, std::int32_t before, std::int32_t value) {
    // Kept, not sent: the read of the next unit to link would replace it.
    const bool command = address == kAddrModeRecall || address == kAddrModeSave;
    if (command || before == value || SendsSuppressed() || Linked()) return;
    unsent_[address] = value;
    ShowUnsentCount();
}

void TForm1::SendUnrecorded(int address, std::int32_t value) {
    if (link_) {
        link_->Send(address, value);
    } else {
        store_.SetBoth(address, value);
    }
}

void TForm1::DrawEq(int selectedBand, int mic) {
    if (eqGraph_) eqGraph_->DrawEq(selectedBand, mic);
}

int TForm1::KindOf(const QWidget* field) const { return Hint(field).toInt(); }

void TForm1::SelectSilently(QComboBox* box, int index) {
    // Showing a stored value is not a change: the box's handler stays out.
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(index);
}

// --- Values into fields ----------------------------------------------------------

void TForm1::ApplyValue(QLineEdit* field, Step step, Source source, double value) {
    if (!field) return;
    const int kind = KindOf(field);
    const int address = EffectiveAddress(Tag(field), state_.activeMic, store_);
    const std::int32_t before = store_.Shown(address);

    KindRuleInput in;
    // The catalogue's entry at the address gives the limits; a field whose
    // hint names another kind gets no rule.
    in.entry = FindFieldParam(static_cast<ParamAddress>(address));
    if (in.entry && in.entry->kind != kind) in.entry = nullptr;
    in.step = step;
    in.source = source;
    in.x = value;
    in.activeMic = state_.activeMic;
    const KindRuleResult r = ApplyKindRule(in, store_);

    if (r.textChanged) field->setText(QString::fromStdString(r.text));
    if (r.mirrorCrossovers) {
        MICHighFreEdit2->setText(MICHighFreEdit->text());
        MICLowFreEdit2->setText(MICLowFreEdit->text());
    }
    if (r.becomesCurrentField) {
        if (auto* current = qobject_cast<QLineEdit*>(map_.Value(address))) state_.currentField = current;
    }

    if (auto* bar = qobject_cast<QSlider*>(map_.Companion(address))) {
        state_.trackGuard = true;
        bar->setValue(Nearest(r.x));
        state_.trackGuard = false;
    }

    const bool bandKind = kind == kKindBandFrequency || kind == kKindBandGain || kind == kKindBandQ;
    if (bandKind) StoreValue(address, r.raw);
    if (source == Source::User) SendChange(address, before, r.raw);
    if (bandKind && !state_.refreshInProgress) NoteBandChange({address, r.raw});
}

void TForm1::CommitEntry(Step step) {
    QLineEdit* field = state_.currentField;
    if (!field || field == Example) return;
    const QString lastAccepted = QString::fromStdString(state_.lastAcceptedText);

    QString kept;
    for (const QChar c : field->text())
        if (IsValueCharacter(c)) kept += c;
    if (kept.isEmpty()) {
        field->setText(lastAccepted);
        return;
    }

    double number = 0;
    if (!ReadNumber(kept, number)) {
        field->setText(lastAccepted);
        return;
    }
    const QString hint = Hint(field);
    if (hint.isEmpty()) dialogs_.PlainMessage(QStringLiteral("error"));
    bool kindOk = false;
    const int kind = hint.toInt(&kindOk);
    if (!kindOk) {
        field->setText(lastAccepted);
        return;
    }
    ApplyValue(field, step, Source::User, TextToRaw(kind, number));
    state_.lastAcceptedText = field->text().toStdString();
}

// --- Entry field handlers ---------------------------------------------------------

void TForm1::Mic1FreEdit1Click(QWidget* sender) {
    auto* field = qobject_cast<QLineEdit*>(map_.Value(Tag(sender)));
    if (!field) return;
    // Focus moves first: the field being left commits as it does when the
    // user clicks from one field into another.
    field->setFocus(Qt::OtherFocusReason);
    state_.wheelArmed = true;
    state_.currentField = field;
    state_.lastAcceptedText = field->text().toStdString();

    // Re-applying the field's own value gives its text the canonical form
    // and records the band for the graph; it is not a change to send.
    const bool saved = SendsSuppressed();
    SuppressSends(true);
    CommitEntry(Step::None);
    SuppressSends(saved);
}

void TForm1::Mic1FreEdit1Exit() {
    QLineEdit* field = state_.currentField;
    if (!field) return;
    history_->NewAction();
    if (!field->text().isEmpty()) {
        CommitEntry(Step::None);
    } else {
        field->setText(QString::fromStdString(state_.lastAcceptedText));
    }
}

bool TForm1::Mic1FreEdit1KeyPress(QLineEdit* sender, QChar key) {
    state_.currentField = sender;
    const bool backspace = key == QChar(0x08);
    const bool enter = key == QChar(0x0D);
    if (!backspace && !enter && !IsValueCharacter(key)) return false;
    if (enter) Mic1FreEdit1Exit();
    return true;
}

void TForm1::Mic1FreEdit1KeyDown(int key) {
    if (key == Qt::Key_Up || key == Qt::Key_Right || key == Qt::Key_Down || key == Qt::Key_Left) history_->NewAction();
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Right: CommitEntry(Step::Up); break;
    case Qt::Key_Down:
    case Qt::Key_Left: CommitEntry(Step::Down); break;
    default: break;
    }
}

bool TForm1::FormMouseWheel(int delta) {
    if (!state_.wheelArmed) return false;
    // A run of wheel steps on one field is one change to undo.
    if (state_.currentField) history_->WheelStep(EffectiveAddress(Tag(state_.currentField), state_.activeMic, store_));
    if (delta > 0) {
        CommitEntry(Step::Up);
    } else if (delta < 0) {
        CommitEntry(Step::Down);
    }
    return true;
}

bool TForm1::EntryFieldEvent(QLineEdit* field, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // Focus has moved here already (and the field left has committed).
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) Mic1FreEdit1Click(field);
        return false;
    case QEvent::FocusOut: {
        // Leaving the window (another window, a message box, the field's
        // own context menu) is not leaving the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) Mic1FreEdit1Exit();
        return false;
    }
    case QEvent::ShortcutOverride:
        // Undo and redo are the window's, not the field's own text undo:
        // right after Enter, Ctrl+Z takes back the value sent.
        if (IsUndoKey(*static_cast<QKeyEvent*>(event))) {
            event->ignore();
            return true;
        }
        return false;
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        Mic1FreEdit1KeyDown(key->key());
        if (key->key() == Qt::Key_Backspace) return !Mic1FreEdit1KeyPress(field, QChar(0x08));
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            Mic1FreEdit1KeyPress(field, QChar(0x0D));
            return true;
        }
        // Keys that type text pass one character at a time; navigation,
        // deletion and shortcuts (copy, paste, select all) are not typing.
        const QString text = key->text();
        const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const bool typing = !text.isEmpty() && !shortcut && text.front().isPrint();
        if (!typing) return false;
        bool passes = true;
        for (const QChar c : text) passes = Mic1FreEdit1KeyPress(field, c) && passes;
        return !passes;
    }
    case QEvent::InputMethod: {
        // Text composed by an input method is typing too.
        auto* composed = static_cast<QInputMethodEvent*>(event);
        const QString commit = composed->commitString();
        if (commit.isEmpty()) return false;
        QString kept;
        for (const QChar c : commit)
            if (Mic1FreEdit1KeyPress(field, c)) kept += c;
        if (kept == commit) return false;
        if (!kept.isEmpty()) field->insert(kept);
        return true;
    }
    default: return false;
    }
}

bool TForm1::HandleEvent(QWidget* handle, QEvent* event) {
    // Only mouse events may be taken as such; a handle sees others too.
    switch (event->type()) {
    case QEvent::MouseButtonPress: EP1MouseDown(handle, *static_cast<QMouseEvent*>(event)); return true;
    case QEvent::MouseMove: EP1MouseMove(handle, *static_cast<QMouseEvent*>(event)); return true;
    case QEvent::MouseButtonRelease: EP1MouseUp(handle, *static_cast<QMouseEvent*>(event)); return true;
    default: return false;
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AdvPageControl1 || watched == AdvPageControl1->tabBar()) {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show) {
            // Only the pages and the tabs are the page control's: the strip
            // beside the tabs belongs to the graph panel underneath.
            const QTabBar* bar = AdvPageControl1->tabBar();
            QRegion region(0, 0, AdvPageControl1->width(), bar->geometry().top());
            for (int i = 0; i < bar->count(); ++i) region += bar->tabRect(i).translated(bar->pos());
            AdvPageControl1->setMask(region);
        }
        return false;
    }
    if (auto* field = qobject_cast<QLineEdit*>(watched)) {
        if (field->parent() && std::find(entryFields_.begin(), entryFields_.end(), field) != entryFields_.end())
            return EntryFieldEvent(field, event);
        return false;
    }
    if (auto* handle = qobject_cast<BitmapImage*>(watched)) {
        if (Tag(handle) < 5 && BandHandles[Tag(handle)] == handle) return HandleEvent(handle, event);
    }
    return false;
}

// --- Start-up and refresh ----------------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TForm1::FormShow() {
    state_.refreshInProgress = true;
    BuildControlMap<QWidget>(
        map_, store_,
        [this](const std::string& name) { return findChild<QWidget*>(QString::fromStdString(name)); },
        [](QWidget* control, int address) { SetTag(control, address); });
    state_.refreshInProgress = false;

    ResetEq(kBothMics);
    AdvPageControl1->setCurrentIndex(state_.activeMic);
    refreshTimerEnabled_ = true;
    Timer1->start();
    Mic1FreEdit1Click(state_.activeMic == 0 ? Mic1FreEdit1 : Mic2FreEdit1);
}

// At start-up both microphones get the defaults in both images. A reset
// of one microphone is a change like any other: every value goes through
// SendParameter, which sends it when the link is idle, lets it wait behind
// a mode command, and keeps it out of a transfer under way (whose end then
// shows what the unit has), so that the windows never show a reset the
// unit only half took.
void TForm1::ResetEq(int selection) {
    const bool single = selection == 0 || selection == 1;
    for (int mic = 0; mic < 2; ++mic) {
        if (selection != mic && selection != kBothMics) continue;
        for (int band = 0; band < kBandsPerMic; ++band) {
            for (int slot = 0; slot < kSlotsPerBand; ++slot) {
                const int address = BandAddress(mic, band, slot);
                const std::int32_t value = EqBandDefault(band, slot);
                if (single) {
                    SendParameter(address, value);
                } else {
                    store_.SetDevice(address, value);
                }
            }
        }
    }
    if (single) {
        ShowStoredValues();
    } else {
        RefreshAll();
    }
}

// Through SendParameter like a typed value: sent when the link is idle,
// waiting behind a mode command, only stored offline or during a transfer.
void TForm1::ApplyBandValues(const std::vector<std::pair<int, std::int32_t>>& changes) {
    for (const auto& [address, value] : changes) SendParameter(address, value);
    ShowStoredValues();
}

void TForm1::RefreshAll() {
    store_.CopyDeviceToShown();
    ShowStoredValues();
}

void TForm1::ShowStoredValues() {
    state_.refreshInProgress = true;
    SuppressSends(true);

    for (int page = 0; page <= kLastPage; ++page) {
        for (int index = 0; index < kPageCount[page]; ++index) {
            const int address = MakeAddress(page, index);
            const std::int32_t v = store_.Shown(address);
            QWidget* control = map_.Value(address);
            if (auto* box = qobject_cast<QComboBox*>(control)) {
                if (auto* bypass = qobject_cast<QCheckBox*>(map_.Companion(address))) {
                    SelectSilently(box, v % 10);
                    bypass->setChecked(v / 10 != 0);  // setChecked raises no click
                } else {
                    SelectSilently(box, v);
                }
            } else if (auto* field = qobject_cast<QLineEdit*>(control)) {
                ApplyValue(field, Step::None, Source::Refresh, v);
            }
        }
    }

    SuppressSends(false);
    state_.refreshInProgress = false;
    DrawEq(kNoBand, state_.activeMic);
}

void TForm1::Timer1Timer() {
    if (eqGraph_) eqGraph_->ApplyDragStep();
    RedrawChangedBand();
    // Nothing left to draw and no handle held: the timer sleeps until the
    // next band change or press wakes it, instead of ticking 50 times a
    // second for a window nobody touches.
    if (!RefreshTickHasWork()) Timer1->stop();
}

void TForm1::RedrawChangedBand() {
    if (state_.lastChange == state_.lastDrawn) return;
    state_.lastDrawn = state_.lastChange;
    const auto band = BandSlot(state_.lastDrawn.address, state_.activeMic);
    if (!band) return;
    Timer1->stop();
    DrawEq(band->band, state_.activeMic);
    Timer1->start();
}

bool TForm1::RefreshTickHasWork() const {
    return state_.lastChange != state_.lastDrawn || (eqGraph_ && eqGraph_->DragWorkWaiting());
}

void TForm1::WakeRefreshTimer() {
    // An active timer keeps its pace; start() would put its next tick off.
    if (refreshTimerEnabled_ && !Timer1->isActive()) Timer1->start();
}

void TForm1::NoteBandChange(CurveChange change) {
    state_.lastChange = change;
    WakeRefreshTimer();
}

void TForm1::SelectFirstBandField() {
    if (AdvPageControl1->currentIndex() != 0) return;
    Mic1FreEdit1Click(state_.activeMic == 0 ? Mic1FreEdit1 : Mic2FreEdit1);
}

// --- Control handlers ----------------------------------------------------------------

void TForm1::SysTotalVolBarChange(QWidget* sender) {
    if (state_.trackGuard) return;
    auto* bar = qobject_cast<QSlider*>(sender);
    if (!bar) return;
    // A drag of the bar is one change; its press began it.
    if (!bar->isSliderDown()) history_->NewAction();
    if (auto* field = qobject_cast<QLineEdit*>(map_.Value(Tag(bar))))
        ApplyValue(field, Step::None, Source::User, bar->value());
    // A volume has no field to step afterwards.
    state_.currentField = Example;
}

void TForm1::Mic1GainBar1Change(QWidget* sender) {
    if (state_.trackGuard) return;
    auto* bar = qobject_cast<QSlider*>(sender);
    if (!bar) return;
    if (!bar->isSliderDown()) history_->NewAction();
    if (auto* field = qobject_cast<QLineEdit*>(map_.Value(Tag(bar)))) {
        // The gain field stays current, so the wheel and arrows step it next.
        state_.currentField = field;
        ApplyValue(field, Step::None, Source::User, bar->value());
    }
}

void TForm1::Mic1ModeBox1Change(QWidget* sender) {
    auto* box = qobject_cast<QComboBox*>(sender);
    if (!box) return;
    history_->NewAction();
    const int address = EffectiveAddress(Tag(box), state_.activeMic, store_);
    const int item = box->currentIndex();
    int v = item;
    if (auto* bypass = qobject_cast<QCheckBox*>(map_.Companion(address)); bypass && bypass->isChecked())
        v += kBypassOffset;
    SendParameter(address, v);

    // The Q slot that now applies: slot 3 for the parametric item, 4 otherwise.
    const int q = address + (item == 0 ? kSlotQ : kSlotQOther);
    if (auto* qField = qobject_cast<QLineEdit*>(map_.Value(q))) {
        state_.currentField = qField;
        ApplyValue(qField, Step::None, Source::Refresh, store_.Shown(q));
    }
    NoteBandChange({address, v});
}

void TForm1::Mic1BypassCheck1Click(QWidget* sender) {
    state_.wheelArmed = false;
    history_->NewAction();
    const int address = EffectiveAddress(Tag(sender), state_.activeMic, store_);
    auto* box = qobject_cast<QCheckBox*>(map_.Companion(Tag(sender)));
    if (!box) return;
    std::int32_t v = store_.Shown(address);
    v = box->isChecked() ? v + kBypassOffset : v % kBypassOffset;
    SendParameter(address, v);
    NoteBandChange({address, v});
}

// A confirmation box runs the event loop: a transfer may end and refresh
// the windows underneath it. So after the answer the box shows what the
// store holds, whatever it showed when the question was asked.
void TForm1::SysFBEBoxChange(QWidget* sender) {
    auto* box = qobject_cast<QComboBox*>(sender);
    if (!box) return;
    const int address = Tag(box);
    const int v = box->currentIndex();
    history_->NewAction();
    if (dialogs_.Confirm(QStringLiteral("Confirm"), ListQuestion(box))) {
        SendParameter(address, v);
    }
    SelectSilently(box, store_.Shown(address));
}

// In Chinese every one of these boxes asks the same question; the other
// languages name the box asking, since "PowerEX" is only one of them.
QString TForm1::ListQuestion(const QComboBox* box) const {
    const QString item = box->currentText() + QStringLiteral("?");
    if (language_ == kLanguageChinese) return Tr(language_, "PowerEX 选择:") + item;
    const char* name = "话筒PowerEx";
    if (box == SysFBEBox) name = "防啸叫";
    if (box == SysNoiseBox) name = "噪声门";
    if (box == Mic1PhaseBox) name = "话筒1相位";
    if (box == Mic2PhaseBox) name = "话筒2相位";
    return Tr(language_, name) + QStringLiteral(": ") + item;
}

bool TForm1::ModeCommandsAllowed() const {
    return link_->Linked() && !link_->SendsSuppressed();
}

void TForm1::SysModeBoxChange(QWidget* sender) {
    auto* box = qobject_cast<QComboBox*>(sender);
    if (!box || !link_) return;
    const int address = Tag(box);
    const int v = box->currentIndex();
    const QString item = box->itemText(v);
    const bool recall = box == SysModeBox;
    // A mode command only makes sense to a device that is there and idle,
    // also once the question has been answered (the link may have been lost
    // or begun a transfer meanwhile). Otherwise nothing is recalled or
    // saved, and the box goes back to what it showed.
    const bool confirmed =
        ModeCommandsAllowed() &&
        dialogs_.Confirm(QStringLiteral("Confirm"),
                         Tr(language_, recall ? "模式切换为" : "保存当前模式为 ") + item + "?") &&
        ModeCommandsAllowed();
    if (!ModeCommandsAllowed())
        SayNothingHappened(recall ? "设备未连接或正忙：没有调用模式。" : "设备未连接或正忙：没有保存模式。");
    if (confirmed) {
        // The link waits for the unit to take the command, also when it has
        // to queue it first, and only the command's own acknowledgement
        // ends the wait.
        if (recall) {
            link_->RecallMode(v + 1);
        } else {
            link_->SaveMode(v + 1);
        }
    }
    SelectSilently(box, store_.Shown(address));
}

void TForm1::MusEQAllPassBtnClick() {
    // The Chinese question stays as it always was; the others name the
    // microphone whose bands are reset.
    QString question = Tr(language_, "确定要复位EQ？");
    if (language_ != kLanguageChinese)
        question = Tr(language_, "确定要复位话筒%1的EQ？")
                       .replace(QStringLiteral("%1"), QString::number(state_.activeMic + 1));
    if (!dialogs_.Confirm(Tr(language_, "提示"), question)) return;
    history_->NewAction();
    ResetEq(state_.activeMic);
    Mic1FreEdit1Click(state_.activeMic == 0 ? Mic1FreEdit1 : Mic2FreEdit1);
}

void TForm1::RzButton1Click(QWidget* sender) {
    // The button's tag is the dynamics band: 0 low, 1 middle, 2 high.
    if (openCompressor_) openCompressor_(Tag(sender));
}

void TForm1::LinkBtnClick() {
    if (!link_) return;
    if (link_->State() == LinkStatus::NoUnit) {
        SayNothingHappened("没有找到TR640设备，无法连接：请插入设备（tr640ctl list 列出设备及能否打开）。");
        return;
    }
    link_->Connect();
}

void TForm1::RzButton5Click(QWidget* sender) {
    if (sender == RzButton6) {
        if (savePreset_) savePreset_();
    } else if (sender == RzButton4) {
        if (loadPreset_) loadPreset_();
    }
}

void TForm1::AdvPageControl2Change(int index) {
    state_.activeMic = index;
    Mic1FreEdit1Click(state_.activeMic != 0 ? Mic2FreEdit1 : Mic1FreEdit1);
}

void TForm1::RzButton7Click() {}

void TForm1::EP1MouseDown(QWidget* sender, QMouseEvent& event) {
    // Everything one drag of a handle changes is one step to undo.
    history_->NewAction();
    if (eqGraph_) eqGraph_->HandleMouseDown(sender, event);
    WakeRefreshTimer();
}

void TForm1::EP1MouseMove(QWidget* sender, QMouseEvent& event) {
    if (eqGraph_) eqGraph_->HandleMouseMove(sender, event);
    WakeRefreshTimer();
}

void TForm1::EP1MouseUp(QWidget* sender, QMouseEvent& event) {
    if (eqGraph_) eqGraph_->HandleMouseUp(sender, event);
}

}  // namespace tr640

namespace tr640 {

// --- Editing ---------------------------------------------------------------------

bool TForm1::IsUndoKey(const QKeyEvent& key) const {
    return key.matches(QKeySequence::Undo) || key.matches(QKeySequence::Redo) ||
           (key.key() == Qt::Key_Y && key.modifiers() == Qt::ControlModifier);
}

void TForm1::Undo() { history_->Stack().undo(); }

void TForm1::Redo() { history_->Stack().redo(); }

void TForm1::ShowReplayed() {
    ShowStoredValues();
    if (afterReplay_) afterReplay_();
}

void TForm1::CopyEq(int from, int to) {
    if (from == to || from < 0 || from > 1 || to < 0 || to > 1) return;
    history_->NewAction();
    for (int band = 0; band < kBandsPerMic; ++band)
        for (int slot = 0; slot < kSlotsPerBand; ++slot)
            SendParameter(BandAddress(to, band, slot), store_.Shown(BandAddress(from, band, slot)));
    history_->NewAction();
    ShowStoredValues();
}

void TForm1::StoreCompare(int slot) {
    if (slot < 0 || slot > 1) return;
    compare_[slot] = std::make_unique<ParamStore>(store_);
    compareSlot_ = slot;
}

bool TForm1::SwitchCompare() {
    const int next = compareSlot_ == 0 ? 1 : 0;
    if (compareSlot_ < 0 || !compare_[next]) return false;
    const ParamStore& target = *compare_[next];
    history_->NewAction();
    // Only the settings a person can change: the mode commands and the
    // addresses no control shows stay as they are.
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.format == ParamFormat::Command || e.format == ParamFormat::Bypass) continue;
        if (store_.Shown(e.address) != target.Shown(e.address)) SendParameter(e.address, target.Shown(e.address));
    }
    history_->NewAction();
    compareSlot_ = next;
    ShowStoredValues();
    if (afterReplay_) afterReplay_();
    return true;
}

}  // namespace tr640
