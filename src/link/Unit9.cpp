// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Unit9.h"

#include "link/StatusDisplay.h"
#include "model/Language.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tr640 {

// The session's lines, in the window's list boxes and report id field.
class TForm9::Lines final : public SessionLines {
public:
    explicit Lines(TForm9& form) : form_(form) {}
    void AddLogLine(const std::string& line) override { form_.LogTraffic(QString::fromStdString(line)); }
    void LogFrame(const TrafficFrame& frame) override { form_.LogFrame(frame); }
    bool AmendLastLogLine(const std::string& was, const std::string& now) override {
        return form_.AmendLastTraffic(QString::fromStdString(was), QString::fromStdString(now));
    }
    void ClearDeviceLines() override { form_.DevListBox->clear(); }
    void AddDeviceLine(const std::string& text) override { form_.DevListBox->addItem(QString::fromStdString(text)); }
    void SetCurrentDeviceLine(int row) override { form_.DevListBox->setCurrentRow(row); }
    void SetReportId(const std::string& text) override { form_.ReportID->setText(QString::fromStdString(text)); }

private:
    TForm9& form_;
};

TForm9::TForm9(ParamStore& store, const int& language, LinkBackend backend, StatusDisplay& statusWindow,
               MainWindowLink& mainWindow, QWidget* parent)
    : QWidget(parent, Qt::Window), lines_(std::make_unique<Lines>(*this)) {
    BuildControls(language);
    session_ = new UnitSession(store, backend, lines_.get(), {}, this);
    Timer1 = &session_->connectTimer;
    Timer2 = &session_->transferTimer;
    HoldTimer = &session_->holdTimer;
    ShowWhatTheSessionReports(language, statusWindow, mainWindow);
    connect(LinkBtn, &QPushButton::clicked, session_, &UnitSession::Connect);
}

void TForm9::BuildControls(const int& language) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QString::fromStdString(Translate(language, "系统")));
    // Should it ever be opened and closed, the link must not take the
    // program down with it.
    setAttribute(Qt::WA_QuitOnClose, false);

    LinkBtn = new QPushButton(this);
    LinkBtn->setObjectName(QStringLiteral("LinkBtn"));
    // The caption in the program's language, the other one kept as the
    // hint (the property the windows keep their twins in).
    const Bilingual twins = Twins(language, "联机");
    const bool chinese = language == kLanguageChinese;
    LinkBtn->setText(QString::fromStdString(chinese ? twins.chinese : twins.english));
    LinkBtn->setProperty("hint", QString::fromStdString(chinese ? twins.english : twins.chinese));

    ReportID = new QLabel(this);
    ReportID->setObjectName(QStringLiteral("ReportID"));

    DevListBox = new QListWidget(this);
    DevListBox->setObjectName(QStringLiteral("DevListBox"));

    HistoryListBox = new QListWidget(this);
    HistoryListBox->setObjectName(QStringLiteral("HistoryListBox"));
    HistoryListBox->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LinkBtn);
    layout->addWidget(ReportID);
    layout->addWidget(DevListBox);
    layout->addWidget(HistoryListBox, 1);
}

// The main window words the states and outcomes; the status window shows
// the progress under the link label's caption of the moment.
void TForm9::ShowWhatTheSessionReports(const int& language, StatusDisplay& status, MainWindowLink& main) {
    UnitSession* s = session_;
    connect(s, &UnitSession::statusChanged, this, [&main](LinkStatus st) { main.ShowLinkStatus(st); });
    connect(s, &UnitSession::colourChanged, this, [&main](LinkColour c) { main.SetLinkLabelColour(c); });
    connect(s, &UnitSession::progressShown, this, [&status, &main, &language](int percent) {
        status.ShowLinkProgress(main.LinkLabelCaption(), percent, language);
    });
    connect(s, &UnitSession::progressHidden, this, [&status](int percent) { status.HideLinkProgress(percent); });
    connect(s, &UnitSession::outcome, this, [&main, s](LinkOutcome o) {
        if (o == LinkOutcome::HeldByOther) return main.TellUnitHeld(s->UnitHolder().program, s->UnitHolder().pid);
        main.TellLinkOutcome(o);
    });
    connect(s, &UnitSession::deviceImageRead, this, [&main] { main.RefreshAll(); });
    connect(s, &UnitSession::transferEnded, this, [&main] { main.SelectFirstBandField(); });
}

TForm9::~TForm9() {
    // The session goes first: nothing it reports may reach the list boxes
    // being taken down.
    delete session_;
}

void TForm9::OnInputReport(const std::vector<std::uint8_t>& report) { session_->OnReply(report); }

void TForm9::LogTraffic(const QString& line) {
    waitingTraffic_.AddLine(line);
    if (isVisible()) ShowWaitingTraffic();
}

void TForm9::LogFrame(const TrafficFrame& frame) {
    waitingTraffic_.AddFrame(frame);
    if (isVisible()) ShowWaitingTraffic();
}

// The newest line is the newest one waiting, if any wait; else the list's.
bool TForm9::AmendLastTraffic(const QString& was, const QString& now) {
    if (!waitingTraffic_.Empty()) return waitingTraffic_.AmendNewest(was, now);
    QListWidgetItem* last = HistoryListBox->item(HistoryListBox->count() - 1);
    if (last == nullptr || last->text() != was) return false;
    last->setText(now);
    return true;
}

void TForm9::ShowWaitingTraffic() {
    if (waitingTraffic_.Empty()) return;
    HistoryListBox->addItems(waitingTraffic_.TakeLines());
    while (HistoryListBox->count() > kHistoryLimit) delete HistoryListBox->takeItem(0);
    HistoryListBox->setCurrentRow(HistoryListBox->count() - 1);
}

void TForm9::showEvent(QShowEvent* event) {
    ShowWaitingTraffic();
    QWidget::showEvent(event);
}

void TForm9::closeEvent(QCloseEvent* event) {
    // The session lives here for the whole run: closing only takes it out of view.
    event->ignore();
    hide();
}

}  // namespace tr640
