// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/BridgeUnit.h"

#include "model/Language.h"
#include "model/ParamAddress.h"

namespace tr640 {

namespace {

// The link's messages, by the texts the windows know them by.
constexpr char kConnectFailedText[] = "连接失败!";
constexpr char kDisconnectedText[] = "已断开连接!";
constexpr char kSaveDoneText[] = "保存成功!";

}  // namespace

// The windows, reduced to what the bridge needs: the link's messages become
// outcomes, the end of each read is counted.
class BridgeUnit::View final : public LinkView {
public:
    explicit View(BridgeUnit& s) : s_(s) {}
    void SetLinkLabelText(const Bilingual& text) override { caption_ = text.english; }
    std::string LinkLabelCaption() const override { return caption_; }
    void SetLinkLabelColour(LinkColour) override {}
    void ShowStatusWindow(const std::string&, int) override {}
    void HideStatusWindow(int) override {}
    void ShowMessage(const std::string&, const std::string& text) override {
        const auto is = [&](const char* chinese) { return text == Translate(s_.language_, chinese); };
        if (is(kSaveDoneText)) s_.saveDone_ = true;
        else if (is(kConnectFailedText) || is(kDisconnectedText)) s_.failure_ = UnitOutcome::Silent;
        else s_.failure_ = UnitOutcome::NoAccess;
    }
    void ShowPlainMessage(const std::string&) override { s_.failure_ = UnitOutcome::Refused; }
    void LogTraffic(const std::string&) override {}
    void RefreshAll() override { s_.OnRefresh(); }
    void SelectFirstBandField() override {}

private:
    BridgeUnit& s_;
    std::string caption_;
};

class BridgeUnit::Port final : public HidLinkPort {
public:
    explicit Port(BridgeUnit& s) : s_(s) {}
    void ClearDeviceLines() override {}
    void AddDeviceLine(const std::string&) override {}
    void SetCurrentDeviceLine(int) override {}
    void AddLogLine(const std::string&) override {}
    void DeviceNotPermitted() override { s_.failure_ = UnitOutcome::NoAccess; }
    void SetReportId(const std::string&) override {}
    void DevicePresent() override { s_.link_->DevicePresent(); }
    void NoDevicePresent() override {
        s_.link_->NoDevicePresent();
        s_.failure_ = UnitOutcome::Gone;
        s_.Evaluate();
    }
    void ParseReply(std::span<const std::uint8_t> reply) override {
        s_.link_->OnReply(reply);
        s_.Evaluate();
    }

private:
    BridgeUnit& s_;
};

// The platform as the controller sees it: only this unit, so that the link
// takes it and no other TR640 on the host.
class BridgeUnit::ChosenPlatform final : public HidPlatform {
public:
    ChosenPlatform(HidPlatform& inner, std::string path) : inner_(inner), path_(std::move(path)) {
        connect(&inner_, &HidPlatform::DevicesChanged, this, &HidPlatform::DevicesChanged);
    }
    std::vector<HidDeviceInfo> Enumerate() override {
        std::vector<HidDeviceInfo> out;
        for (HidDeviceInfo& info : inner_.Enumerate())
            if (info.path == path_) out.push_back(std::move(info));
        return out;
    }
    std::unique_ptr<HidConnection> Open(const std::string& path, int* error) override {
        return inner_.Open(path, error);
    }
    std::string ErrorText(int code) const override { return inner_.ErrorText(code); }
    std::vector<std::string> TakeNotes() override { return inner_.TakeNotes(); }

private:
    HidPlatform& inner_;
    std::string path_;
};

BridgeUnit::BridgeUnit(HidPlatform& platform, HidDeviceInfo unit, QObject* parent)
    : QObject(parent), platform_(platform), unit_(std::move(unit)), view_(std::make_unique<View>(*this)),
      port_(std::make_unique<Port>(*this)), language_(kLanguageEnglish) {
    // The link's intervals, as the link window sets them; the link counts
    // its time-outs in ticks, so the timers must not run early.
    const std::pair<QTimer*, int> timers[] = {{&connectTimer_, 1000}, {&transferTimer_, 50}, {&holdTimer_, 40}};
    for (const auto& [timer, ms] : timers) {
        timer->setInterval(ms);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&connectTimer_, &QTimer::timeout, this, [this] { link_->Timer1Timer(); Evaluate(); });
    connect(&transferTimer_, &QTimer::timeout, this, [this] { link_->Timer2Timer(); Evaluate(); });
    connect(&holdTimer_, &QTimer::timeout, this, [this] { link_->HoldTimerTimer(); Evaluate(); });
    checkTimer_.setInterval(kCheckMs);
    connect(&checkTimer_, &QTimer::timeout, this, &BridgeUnit::OnCheckTick);
    relinkTimer_.setSingleShot(true);
    connect(&relinkTimer_, &QTimer::timeout, this, &BridgeUnit::OnRelinkTick);
}

BridgeUnit::~BridgeUnit() {
    // No tick may reach the link while it is taken down; the controller's
    // end stops the reader threads and closes the unit.
    for (QTimer* timer : {&connectTimer_, &transferTimer_, &holdTimer_, &checkTimer_, &relinkTimer_}) timer->stop();
    if (handlers_) handlers_->SetPort(nullptr);
    link_.reset();
    sender_.reset();
    handlers_.reset();
    controller_.reset();
}

void BridgeUnit::Connect() {
    chosen_ = std::make_unique<ChosenPlatform>(platform_, unit_.path);
    controller_ = std::make_unique<TJvHidDeviceController>(*chosen_);
    handlers_ = std::make_unique<HidLinkHandlers>(*controller_, port_.get());
    sender_ = std::make_unique<FrameSender>(*handlers_);
    link_ = std::make_unique<Link>(store_, *sender_, *view_, Link::Timers{connectPort_, transferPort_, holdPort_},
                                   language_);
    handlers_->BindEvents();
    link_->Watch({[this](int, std::int32_t, bool goesOut) {
                      if (pending_ && !goesOut) unsent_ = true;
                  },
                  {}});
    checkTimer_.start();
    // The first scan finds the unit, and the link starts with the key.
    controller_->Scan();
}

std::optional<std::int32_t> BridgeUnit::Confirmed(ParamAddress address) const {
    if (!read_ && !linked_) return std::nullopt;
    return confirmed_.Device(address);
}

void BridgeUnit::OnRefresh() {
    // A read (or a write-all) has ended: the device image is what the unit
    // holds now.
    ++refreshes_;
    for (int page = 0; page <= kLastPage; ++page)
        for (int index = 0; index < kPageCount[page]; ++index)
            confirmed_.SetDevice(page, index, store_.Device(page, index));
    read_ = true;
    emit ValuesConfirmed();
}

bool BridgeUnit::LinkQuiet() const {
    const LinkVars& v = link_->Vars();
    return v.linkState == kLinkedIdle && v.ready == 1 && v.queue.count == 0 && v.repeatLast == 0 &&
           v.waitReason == 0;
}

bool BridgeUnit::Ready() const {
    return linked_ && !pending_ && !rereadDue_ && LinkIdle() && !transferTimer_.isActive();
}

bool BridgeUnit::Start(std::function<bool()> done, Changes changes) {
    if (!Ready()) {
        emit Finished(linked_ ? UnitOutcome::Busy : UnitOutcome::NotLinked);
        return false;
    }
    failure_.reset();
    unsent_ = false;
    pending_ = Pending{std::move(done), std::move(changes), {}};
    pending_->clock.start();
    return true;
}

void BridgeUnit::SendChanges(const Changes& changes) {
    if (!Start([this] { return LinkQuiet(); }, changes)) return;
    for (const auto& [address, raw] : changes) link_->SendParameter(address, raw);
    Evaluate();
}

void BridgeUnit::RecallMode(int mode) {
    const int before = refreshes_;
    if (!Start([this, before] { return refreshes_ > before && LinkIdle(); })) return;
    link_->SendParameter(kAddrModeRecall, mode - 1);
}

void BridgeUnit::SaveMode(int mode) {
    saveDone_ = false;
    if (!Start([this] { return saveDone_ && LinkIdle(); })) return;
    link_->SendParameter(kAddrModeSave, mode - 1);
}

void BridgeUnit::WritePage1(const ParamStore& source) {
    const int before = refreshes_;
    if (!Start([this, before] { return refreshes_ > before && LinkIdle(); })) return;
    for (int index = 0; index < ParamStore::kDeviceWidth; ++index) store_.SetDevice(1, index, source.Device(1, index));
    link_->RaiseLinkEvent(kEventWriteAll);
}

void BridgeUnit::Evaluate() {
    if (!link_) return;
    if (failure_ && *failure_ != UnitOutcome::Refused) {
        Lose(*failure_);
        return;
    }
    if (failure_ && pending_) {
        failure_.reset();
        Finish(UnitOutcome::Refused);
        return;
    }
    if (!linked_ && read_ && LinkIdle()) {
        linked_ = true;
        emit LinkedChanged(true);
    }
    if (pending_ && unsent_) Finish(UnitOutcome::Busy);
    if (pending_ && pending_->done()) Finish(UnitOutcome::Ok);
    const bool ready = Ready();
    if (ready && !wasReady_) {
        wasReady_ = true;
        emit ReadyForCommand();
    }
    wasReady_ = Ready();
}

void BridgeUnit::Finish(UnitOutcome outcome) {
    Pending done = std::move(*pending_);
    pending_.reset();
    if (outcome == UnitOutcome::Ok && !done.changes.empty()) {
        for (const auto& [address, raw] : done.changes) confirmed_.SetDevice(address, raw);
        emit ValuesConfirmed();
    }
    // A refused or stalled burst may have landed in part.
    if (outcome == UnitOutcome::Refused || outcome == UnitOutcome::Busy) rereadDue_ = true;
    emit Finished(outcome);
}

void BridgeUnit::Lose(UnitOutcome outcome) {
    failure_.reset();
    rereadDue_ = false;  // the next link reads everything anyway
    read_ = false;
    if (pending_) Finish(outcome);
    if (linked_) {
        linked_ = false;
        emit LinkedChanged(false);
    }
    // A unit that went silent is tried again; one that went away is
    // followed by the platform's notice instead.
    if (outcome == UnitOutcome::Silent && !relinkTimer_.isActive()) relinkTimer_.start(kRelinkMs);
}

void BridgeUnit::OnCheckTick() {
    if (rereadDue_ && linked_ && !pending_ && LinkIdle() && !transferTimer_.isActive()) {
        rereadDue_ = false;
        // Both pages: a burst can hold system values too. The read ends in
        // a refresh, which confirms what the unit sent.
        link_->RaiseLinkEvent(kEventConnectRead);
    }
    Evaluate();
    if (pending_ && pending_->clock.elapsed() > kCommandTimeoutMs) Lose(UnitOutcome::Silent);
}

void BridgeUnit::OnRelinkTick() {
    if (link_ && !linked_) link_->StartConnection();
}

}  // namespace tr640
