// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Unit9.h"

#include "link/DialogSeam.h"
#include "link/StatusDisplay.h"
#include "model/Language.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tr640 {

// What the link shows, spread over the windows that show it.
class TForm9::ViewPort final : public LinkView {
public:
    ViewPort(TForm9& form, const int& language, Dialogs& dialogs, StatusDisplay& status, MainWindowLink& main)
        : form_(form), language_(language), dialogs_(dialogs), status_(status), main_(main) {}

    void SetLinkLabelText(const Bilingual& text) override { main_.SetLinkLabelText(text); }
    std::string LinkLabelCaption() const override { return main_.LinkLabelCaption(); }
    void SetLinkLabelColour(LinkColour colour) override { main_.SetLinkLabelColour(colour); }

    void ShowStatusWindow(const std::string& linkCaption, int percent) override {
        status_.ShowLinkProgress(linkCaption, percent, language_);
    }
    void HideStatusWindow(int percent) override { status_.HideLinkProgress(percent); }

    void ShowMessage(const std::string& caption, const std::string& text) override {
        dialogs_.Message(QString::fromStdString(caption), QString::fromStdString(text));
    }
    void ShowPlainMessage(const std::string& text) override {
        dialogs_.PlainMessage(QString::fromStdString(text));
    }

    void LogTraffic(const std::string& line) override { form_.LogTraffic(QString::fromStdString(line)); }

    void RefreshAll() override { main_.RefreshAll(); }
    void SelectFirstBandField() override { main_.SelectFirstBandField(); }

private:
    TForm9& form_;
    const int& language_;
    Dialogs& dialogs_;
    StatusDisplay& status_;
    MainWindowLink& main_;
};

// What the link window lends the HID handlers: its device list, traffic
// log and report id field, and the link's presence calls and reply parser.
class TForm9::HidPort final : public HidLinkPort {
public:
    explicit HidPort(TForm9& form) : form_(form) {}

    void ClearDeviceLines() override { form_.DevListBox->clear(); }
    void AddDeviceLine(const std::string& text) override { form_.DevListBox->addItem(QString::fromStdString(text)); }
    void SetCurrentDeviceLine(int row) override { form_.DevListBox->setCurrentRow(row); }
    void AddLogLine(const std::string& line) override { form_.LogTraffic(QString::fromStdString(line)); }
    bool AmendLastLogLine(const std::string& was, const std::string& now) override {
        QListWidgetItem* last = form_.HistoryListBox->item(form_.HistoryListBox->count() - 1);
        if (last == nullptr || last->text() != QString::fromStdString(was)) return false;
        last->setText(QString::fromStdString(now));
        return true;
    }
    void SetReportId(const std::string& text) override { form_.ReportID->setText(QString::fromStdString(text)); }
    void DevicePresent() override { form_.link_.DevicePresent(); }
    void NoDevicePresent() override { form_.link_.NoDevicePresent(); }
    void DeviceNotPermitted() override {
        // Told from the event loop, not from inside the scan: the modal box
        // would hold up the scans of the notices that come while it is open,
        // the one that grants access among them.
        QMetaObject::invokeMethod(&form_, [form = &form_] { form->link_.DeviceNotPermitted(); }, Qt::QueuedConnection);
    }
    void ParseReply(std::span<const std::uint8_t> reply) override { form_.link_.OnReply(reply); }

private:
    TForm9& form_;
};

QTimer* TForm9::MakeTimer(QWidget* owner, const char* name, int intervalMs) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(intervalMs);
    // The link counts its time-outs in ticks; a coarse timer may tick up to
    // 5 % early and shorten every one of them.
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

TForm9::TForm9(ParamStore& store, const int& language, LinkBackend backend, Dialogs& dialogs,
               StatusDisplay& statusWindow, MainWindowLink& mainWindow, QWidget* parent)
    : QWidget(parent, Qt::Window),
      Timer1(MakeTimer(this, "Timer1", 1000)),
      Timer2(MakeTimer(this, "Timer2", 50)),
      HoldTimer(MakeTimer(this, "HoldTimer", 40)),
      connectTimer_(*Timer1),
      transferTimer_(*Timer2),
      holdTimer_(*HoldTimer),
      hid_(backend.platform ? std::make_unique<HidSide>(*backend.platform) : nullptr),
      hidPort_(hid_ ? std::make_unique<HidPort>(*this) : nullptr),
      sender_(hid_ ? static_cast<ReportTransport&>(hid_->handlers) : *backend.transport),
      view_(std::make_unique<ViewPort>(*this, language, dialogs, statusWindow, mainWindow)),
      link_(store, sender_, *view_, {connectTimer_, transferTimer_, holdTimer_}, language) {
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

    connect(Timer1, &QTimer::timeout, this, &TForm9::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TForm9::Timer2Timer);
    connect(HoldTimer, &QTimer::timeout, this, &TForm9::HoldTimerTimer);
    connect(LinkBtn, &QPushButton::clicked, this, [this] { link_.StartConnection(); });

    if (hid_) {
        HidCtl = &hid_->controller;
        hid_->handlers.SetPort(hidPort_.get());
        BindHidEvents();
    }
}

void TForm9::BindHidEvents() {
    TJvHidDeviceController& c = hid_->controller;
    c.OnArrival = [this](TJvHidDevice& d) { HidCtlArrival(d); };
    c.OnRemoval = [this](TJvHidDevice& d) { HidCtlRemoval(d); };
    c.OnDeviceChange = [this] { HidCtlDeviceChange(); };
    c.OnEnumerate = [this](TJvHidDevice& d, int index) { return HidCtlEnumerate(d, index); };
    c.OnDeviceData = [this](TJvHidDevice& d, std::uint8_t id, std::span<const std::uint8_t> data, std::size_t n) {
        HidCtlDeviceData(d, id, data, n);
    };
    c.OnDeviceDataError = [this](TJvHidDevice& d, int error) { HidCtlDeviceDataError(d, error); };
    c.OnNote = [this](const std::string& text) { hid_->handlers.HidCtlNote(text); };
}

void TForm9::HidCtlArrival(TJvHidDevice& device) { hid_->handlers.HidCtlArrival(device); }
void TForm9::HidCtlRemoval(TJvHidDevice& device) { hid_->handlers.HidCtlRemoval(device); }
void TForm9::HidCtlDeviceChange() { hid_->handlers.HidCtlDeviceChange(); }
bool TForm9::HidCtlEnumerate(TJvHidDevice& device, int index) {
    return hid_->handlers.HidCtlEnumerate(device, index);
}
void TForm9::HidCtlDeviceData(TJvHidDevice& device, std::uint8_t reportId, std::span<const std::uint8_t> data,
                              std::size_t length) {
    hid_->handlers.HidCtlDeviceData(device, reportId, data, length);
}
void TForm9::HidCtlDeviceDataError(TJvHidDevice& device, int error) {
    hid_->handlers.HidCtlDeviceDataError(device, error);
}

TForm9::~TForm9() {
    // No tick may reach the link while its parts are being taken down.
    Timer1->stop();
    Timer2->stop();
    HoldTimer->stop();
    // Devices released while the controller is taken down report to no one.
    if (hid_) hid_->handlers.SetPort(nullptr);
}

void TForm9::OnInputReport(const std::vector<std::uint8_t>& report) { link_.OnReply(report); }

void TForm9::LogTraffic(const QString& line) {
    HistoryListBox->addItem(line);
    while (HistoryListBox->count() > kHistoryLimit) delete HistoryListBox->takeItem(0);
    HistoryListBox->setCurrentRow(HistoryListBox->count() - 1);
}

void TForm9::Timer1Timer() { link_.Timer1Timer(); }
void TForm9::Timer2Timer() { link_.Timer2Timer(); }
void TForm9::HoldTimerTimer() { link_.HoldTimerTimer(); }

void TForm9::closeEvent(QCloseEvent* event) {
    // The link lives here for the whole run: closing only takes it out of view.
    event->ignore();
    hide();
}

}  // namespace tr640
