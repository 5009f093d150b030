// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ChangeHistory.h"
#include "ui/LinkLabelPort.h"
#include "model/ControlMap.h"
#include "model/ModelState.h"
#include "model/ParamStore.h"
#include "model/ValueKinds.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QKeyEvent;
class QMouseEvent;
class QPushButton;
class QSlider;
class QTabWidget;
class QTimer;
class QToolButton;
class QMenu;
class QAction;

namespace tr640 {

class BitmapImage;
class CaptionLine;
class Dialogs;
class UnitSession;

// The main window's view of the parameter model: the control map over its
// widgets and the shared state, whose current field is an entry field.
using ControlMap = ControlMapOf<QWidget>;
using ModelState = ModelStateOf<QLineEdit>;

// What the EQ graph does inside the main window: painting the graph,
// placing the band handles and the readout, and turning handle drags into
// band values. The window runs without one (the graph then stays blank);
// the graph module fills it in and is handed over with SetEqGraph.
class EqGraphHooks {
public:
    virtual ~EqGraphHooks() = default;

    // Paints the background and places the axis labels, creating them when
    // `createLabels` is set. Run once with the flag when the graph is handed
    // over, as window creation would.
    virtual void SetUpGraph(bool createLabels) = 0;
    // Redraws microphone `mic`'s curve with the readout of `selectedBand`
    // (0 .. 4), or without a readout for TForm1::kNoBand. Does nothing for a
    // microphone above 1 or while the shared state's refreshInProgress is set.
    virtual void DrawEq(int selectedBand, int mic) = 0;
    // The refresh timer's first step: a dragged handle's pending frequency
    // and gain reach the band's fields (through TForm1::ApplyValue, with
    // TForm1::Timer1 stopped while they are applied).
    virtual void ApplyDragStep() = 0;
    // Mouse events of the band handles EP1 .. EP5; `handle` is the sender.
    virtual void HandleMouseDown(QWidget* handle, QMouseEvent& event) = 0;
    virtual void HandleMouseMove(QWidget* handle, QMouseEvent& event) = 0;
    virtual void HandleMouseUp(QWidget* handle, QMouseEvent& event) = 0;
    // Whether the refresh timer still has drag work: a handle is held, or
    // the last move left values that no tick has applied yet.
    virtual bool DragWorkWaiting() const { return false; }
};

// The main window: every device parameter in a control, the EQ graph, the
// link button and the link status text. Controls are public members named
// as the handlers and the control map know them; each also carries the name
// as its objectName.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 883;
    static constexpr int kClientHeight = 565;
    static constexpr int kNoBand = 20;    // DrawEq without a band readout
    static constexpr int kBothMics = 20;  // ResetEq of both microphones
    static constexpr int kHandleCount = 17;

    static QString Caption(int language = kLanguageChinese);

    // The window's creation is FormCreate; its first showing runs FormShow.
    TForm1(ParamStore& store, ControlMap& controlMap, ModelState& state, const int& language, Dialogs& dialogs,
           QWidget* parent = nullptr);
    ~TForm1() override;

    // --- Wiring, done by the program once the other windows exist ----------

    // The unit's session that SendParameter, the link button and the mode
    // boxes use.
    void AttachLink(UnitSession& session);
    UnitSession* AttachedLink() const { return link_; }
    // How the link reaches this window: the link label, RefreshAll and the
    // selection of the first band field after a transfer.
    MainWindowLink& LinkPort() { return *linkPort_; }
    // The EQ graph; runs its set-up with label creation at once.
    void SetEqGraph(EqGraphHooks* graph);
    // The compressor curve window, opened for dynamics band 0, 1 or 2.
    void SetCompressorOpener(std::function<void(int band)> open);
    // Runs at the end of every transfer, once the link is idle again.
    void SetTransferEndHook(std::function<void()> ended) { transferEnded_ = std::move(ended); }
    // The preset flows behind "加载" and "保存".
    void SetPresetFlows(std::function<void()> load, std::function<void()> save);

    Dialogs& dialogs() { return dialogs_; }
    ParamStore& store() { return store_; }
    ControlMap& controlMap() { return map_; }
    ModelState& state() { return state_; }

    // --- Operations -----------------------------------------------------------

    // The one road of a value into an entry field: formats it by the field's
    // value kind, moves its track bar, stores band values and sends a change
    // from the user.
    void ApplyValue(QLineEdit* field, Step step, Source source, double value);
    // Commits CurrentField's text, stepped or not.
    void CommitEntry(Step step);
    // Copies the device image into the shown image and fills every control.
    void RefreshAll();
    // Writes the EQ band defaults of microphone 0, 1 or both (kBothMics).
    void ResetEq(int selection);
    // Band values from outside the fields (an imported EQ file), each a
    // change like a typed one, in order; then every field shows what the
    // store holds and the graph redraws.
    void ApplyBandValues(const std::vector<std::pair<int, std::int32_t>>& changes);
    // Asks the EQ graph for a redraw (nothing without a graph).
    void DrawEq(int selectedBand, int mic);
    // Through the link; stores only when no link is attached. A change made
    // in the windows: it is recorded for undo.
    void SendParameter(int address, std::int32_t value);
    // The same for a change whose value was stored before it was sent.
    void SendChange(int address, std::int32_t before, std::int32_t value);

    // --- Editing ----------------------------------------------------------------

    // The undo history of every change made in the windows.
    ChangeHistory& History() { return *history_; }
    void Undo();
    void Redo();
    // Microphone `from`'s five bands onto microphone `to` (0 or 1), one undo step.
    void CopyEq(int from, int to);
    // A/B compare: stores the current settings as A (0) or B (1); a switch
    // goes to the other one, sending only the values that differ from it,
    // in one undo step. Nothing happens while the other is not stored.
    void StoreCompare(int slot);
    bool SwitchCompare();
    int CompareSlot() const { return compareSlot_; }
    // Changes made while no unit is linked are kept, not sent: the window's
    // title counts them, and once a unit links and its values are read,
    // AskAboutUnsentChanges offers to send them or keep the unit's values.
    const std::map<int, std::int32_t>& UnsentChanges() const { return unsent_; }
    // A preset file loaded while no unit is linked: its settings become such changes.
    void KeepAsUnsentChanges(const ParamStore& file);
    // A file taken over as a whole is one undo step: every shown value that
    // differs from `before` goes into the current action, which then ends.
    void RecordTakenOver(const ParamStore& before);
    void AskAboutUnsentChanges();
    // Runs after an undo or redo has sent its values (other windows reload).
    void SetAfterReplay(std::function<void()> after) { afterReplay_ = std::move(after); }
    // The menu behind MenuBtn; the program adds the language choice's effect
    // and the about box's serial with these.
    void SetLanguageChooser(std::function<void(int language)> choose) { chooseLanguage_ = std::move(choose); }
    void SetAboutText(std::function<QString()> about) { aboutText_ = std::move(about); }
    // After a transfer: the first band's frequency field of the shown
    // microphone, when the main page is shown.
    void SelectFirstBandField();

    // --- Handlers (called by the controls' events, and directly by tests) ---

    void FormCreate();
    void FormShow();
    // Runs only while it has work: started when a handle is pressed or a band
    // change waits to be drawn, stopped by the tick that leaves nothing to do.
    void Timer1Timer();

    void Mic1FreEdit1Click(QWidget* sender);
    void Mic1FreEdit1Exit();
    void Mic1FreEdit1KeyDown(int key);
    // True when the key goes on to the field.
    bool Mic1FreEdit1KeyPress(QLineEdit* sender, QChar key);
    // True when the wheel event was handled here.
    bool FormMouseWheel(int delta);

    void SysTotalVolBarChange(QWidget* sender);
    void Mic1GainBar1Change(QWidget* sender);
    void Mic1ModeBox1Change(QWidget* sender);
    void Mic1BypassCheck1Click(QWidget* sender);
    void SysFBEBoxChange(QWidget* sender);
    void SysModeBoxChange(QWidget* sender);
    void MusEQAllPassBtnClick();
    void RzButton1Click(QWidget* sender);
    void LinkBtnClick();
    void RzButton5Click(QWidget* sender);
    void AdvPageControl2Change(int index);
    void RzButton7Click();
    void EP1MouseDown(QWidget* sender, QMouseEvent& event);
    void EP1MouseMove(QWidget* sender, QMouseEvent& event);
    void EP1MouseUp(QWidget* sender, QMouseEvent& event);

    // --- Controls ---------------------------------------------------------------

    // Top bar.
    QGroupBox* RzGroupBox1;
    QLabel* LinkLabel;
    QPushButton* LinkBtn;
    QLabel* Label9;
    QSlider* SysTotalVolBar;
    QLineEdit* SysTotalVolEdit;
    // The menu button in the top bar, between the link button and the volume.
    QToolButton* MenuBtn;
    QMenu* MainMenu;
    QAction* UndoAction;
    QAction* RedoAction;
    QAction* LoadAction;
    QAction* SaveAction;
    QAction* ConnectAction;
    QAction* SwitchCompareAction;

    // Outer pages: 0 the main page, 1 the dynamics page.
    QTabWidget* AdvPageControl1;
    QWidget* MainPage;
    QWidget* DynamicsPage;

    // Main page, the two microphones' EQ pages.
    QTabWidget* AdvPageControl2;
    QGroupBox* EchoEQGrop;
    QGroupBox* RzGroupBox6;
    QLabel* Mic1Label;
    QLabel* Mic2Label;
    QComboBox* Mic1ModeBox1, *Mic1ModeBox2, *Mic1ModeBox3, *Mic1ModeBox4, *Mic1ModeBox5;
    QLineEdit* Mic1FreEdit1, *Mic1FreEdit2, *Mic1FreEdit3, *Mic1FreEdit4, *Mic1FreEdit5;
    QLineEdit* Mic1QEdit1, *Mic1QEdit2, *Mic1QEdit3, *Mic1QEdit4, *Mic1QEdit5;
    QLineEdit* Mic1GainEdit1, *Mic1GainEdit2, *Mic1GainEdit3, *Mic1GainEdit4, *Mic1GainEdit5;
    QSlider* Mic1GainBar1, *Mic1GainBar2, *Mic1GainBar3, *Mic1GainBar4, *Mic1GainBar5;
    QCheckBox* Mic1BypassCheck1, *Mic1BypassCheck2, *Mic1BypassCheck3, *Mic1BypassCheck4, *Mic1BypassCheck5;
    QComboBox* Mic2ModeBox1, *Mic2ModeBox2, *Mic2ModeBox3, *Mic2ModeBox4, *Mic2ModeBox5;
    QLineEdit* Mic2FreEdit1, *Mic2FreEdit2, *Mic2FreEdit3, *Mic2FreEdit4, *Mic2FreEdit5;
    QLineEdit* Mic2QEdit1, *Mic2QEdit2, *Mic2QEdit3, *Mic2QEdit4, *Mic2QEdit5;
    QLineEdit* Mic2GainEdit1, *Mic2GainEdit2, *Mic2GainEdit3, *Mic2GainEdit4, *Mic2GainEdit5;
    QSlider* Mic2GainBar1, *Mic2GainBar2, *Mic2GainBar3, *Mic2GainBar4, *Mic2GainBar5;
    QCheckBox* Mic2BypassCheck1, *Mic2BypassCheck2, *Mic2BypassCheck3, *Mic2BypassCheck4, *Mic2BypassCheck5;

    // Main page, system group.
    QGroupBox* GroupBox1;
    QGroupBox* RzGroupBox7;
    QLabel* Label15;
    QComboBox* SysFBEBox;
    QLabel* Label16;
    QComboBox* SysNoiseBox;
    CaptionLine* RzLine1;
    QLabel* Label12;
    QComboBox* SysModeBox;
    QLabel* Label11;
    QComboBox* SysSaveModeBox;
    CaptionLine* RzLine2;
    QLabel* Label13;
    QPushButton* RzButton4;
    QLabel* Label14;
    QPushButton* RzButton6;
    QGroupBox* RzGroupBox9;
    QLabel* Label37;
    QLineEdit* Mic1INGainEdit;
    QSlider* Mic1INGainBar;
    QLabel* Label39;
    QLineEdit* Mic2INGainEdit;
    QSlider* Mic2INGainBar;
    QLabel* Label38;
    QComboBox* Mic1PhaseBox;
    QLabel* Label40;
    QComboBox* Mic2PhaseBox;
    CaptionLine* RzLine3;
    QLabel* Label17;
    QComboBox* MICBASSBox;

    // Dynamics page.
    QGroupBox* RzGroupBox5;
    QLabel* Label21;
    QLabel* Label22;
    QLabel* Label18;
    QLabel* Label19;
    QLabel* Label20;
    QLineEdit* RzEdit7;
    QLineEdit* MICLowFreEdit;
    QLineEdit* MICLowFreEdit2;
    QLineEdit* MICHighFreEdit;
    QLineEdit* MICHighFreEdit2;
    QLineEdit* RzEdit12;
    QGroupBox* RzGroupBox8;
    QGroupBox* RzGroupBox2;
    QGroupBox* RzGroupBox4;
    QLineEdit* LowRMSattackEdit;
    QLineEdit* LowRMSHoldEdit;
    QLineEdit* LowRMSReleaseEdit;
    QLineEdit* MidRMSattackEdit;
    QLineEdit* MidRMSHoldEdit;
    QLineEdit* MidRMSReleaseEdit;
    QLineEdit* HighRMSattackEdit;
    QLineEdit* HighRMSHoldEdit;
    QLineEdit* HighRMSReleaseEdit;
    QPushButton* RzButton1;
    QPushButton* RzButton2;
    QPushButton* RzButton3;
    QPushButton* RzButton8;
    QLineEdit* Example;  // hidden: stands for "no current field"

    // EQ graph.
    QFrame* EQAdvPanel;
    QWidget* AdvPanel2;
    BitmapImage* Image1;
    QLabel* EQlabel;
    QPushButton* MusEQAllPassBtn;
    BitmapImage *EP1, *EP2, *EP3, *EP4, *EP5, *EP6, *EP7, *EP8, *EP9, *EP10, *EP11, *EP12, *EP13, *EP14, *EP15;
    BitmapImage *HPF, *LPF;
    // The band handle array: EP1 .. EP15, HPF, LPF; each tag is its position.
    std::array<BitmapImage*, kHandleCount> BandHandles{};

    // The refresh timer: 20 ms, enabled when the window is first shown.
    QTimer* Timer1;

    // One band column of a microphone's EQ page.
    struct BandColumn {
        QComboBox* modeBox;
        QLineEdit* freEdit;
        QLineEdit* qEdit;
        QLineEdit* gainEdit;
        QSlider* gainBar;
        QCheckBox* bypassCheck;
    };
    const BandColumn& Band(int mic, int band) const { return bands_[mic][band]; }

    // The 43 entry fields that edit a value.
    const std::vector<QLineEdit*>& EntryFields() const { return entryFields_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // A band change to draw, or a handle pressed: the refresh timer runs
    // again (once the window has been shown), at its 20 ms pace.
    void WakeRefreshTimer();
    void NoteBandChange(CurveChange change);
    void RedrawChangedBand();
    bool RefreshTickHasWork() const;
    void BuildTopBar();
    void BuildMainPage();
    void BuildEqPage(QWidget* page, int mic);
    void BuildSystemGroup();
    void BuildDynamicsPage();
    void BuildEqGraph();
    void BuildMenu();
    void ShowAbout();
    void ShowManual();
    void SendUnrecorded(int address, std::int32_t value);
    void NoteUnsent(int address, std::int32_t before, std::int32_t value);
    void ShowReplayed();
    bool IsUndoKey(const QKeyEvent& key) const;
    bool Linked() const;
    void ShowUnsentCount();
    void SayNothingHappened(const char* chinese);
    void BindEvents();
    QLineEdit* MakeEntryField(QWidget* parent, const char* name, const QRect& geometry);

    bool SendsSuppressed() const;
    void SuppressSends(bool suppressed);
    bool EntryFieldEvent(QLineEdit* field, QEvent* event);
    bool HandleEvent(QWidget* handle, QEvent* event);
    void SelectSilently(QComboBox* box, int index);
    QString ListQuestion(const QComboBox* box) const;
    void StoreValue(int address, std::int32_t value);
    // Fills every mapped control from the shown image.
    void ShowStoredValues();
    bool ModeCommandsAllowed() const;
    int KindOf(const QWidget* field) const;

    ParamStore& store_;
    ControlMap& map_;
    ModelState& state_;
    const int& language_;
    Dialogs& dialogs_;
    UnitSession* link_ = nullptr;
    // Sends suppressed while no session is attached (the window on its own).
    bool unlinkedSendSuppressed_ = false;
    std::unique_ptr<LinkLabelPort> linkPort_;
    EqGraphHooks* eqGraph_ = nullptr;
    // Set by the first showing; until then nothing starts the refresh timer.
    bool refreshTimerEnabled_ = false;
    std::function<void(int)> openCompressor_;
    std::function<void()> loadPreset_;
    std::function<void()> savePreset_;
    std::function<void()> transferEnded_;
    std::function<void()> afterReplay_;
    std::function<void(int)> chooseLanguage_;
    std::function<QString()> aboutText_;
    std::unique_ptr<ChangeHistory> history_;
    std::map<int, std::int32_t> unsent_;
    // The settings stored as A and B, and which of them is shown (-1 none).
    std::array<std::unique_ptr<ParamStore>, 2> compare_{};
    int compareSlot_ = -1;
    std::array<std::array<BandColumn, 5>, 2> bands_{};
    std::vector<QLineEdit*> entryFields_;
    bool shown_ = false;
};

}  // namespace tr640
