// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BrokerUnit.h"

#include "link/UnitLock.h"
#include "model/ParamCatalogue.h"
#include "mqtt/BridgePayloads.h"
#include "mqtt/JsonText.h"
#include "presets/FileSystem.h"
#include "presets/PresetFlow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <map>

namespace tr640 {

namespace {

// How often a wait looks at the clock and for Ctrl-C between messages.
constexpr int kPollMs = 20;

// The JSON set of raw changes, by the catalogue's names and the state's
// words: what the bridge reads back is what it publishes. Type and bypass
// share a slot, so both names of a slot go, the slot's value in each.
std::string ChangeSetJson(const UnitChanges& changes, const std::string& transaction) {
    std::map<int, std::int32_t> last;
    for (const auto& [address, raw] : changes) last[address] = raw;
    JsonObjectText set;
    for (const ParamEntry& entry : ParamCatalogue()) {
        const auto it = last.find(entry.address);
        if (it == last.end() || !IsStateEntry(entry)) continue;
        set.Raw(entry.name, FormatStateValue(entry, it->second).json);
    }
    return set.String("transaction", transaction).Text();
}

std::string ValueEnvelope(const std::string& value, const std::string& transaction) {
    return JsonObjectText().String("value", value).String("transaction", transaction).Text();
}

}  // namespace

BrokerUnit::BrokerUnit(MqttSettings settings, std::string baseTopic, int timeoutMs, std::function<bool()> interrupted)
    : mqtt_(std::move(settings)), topics_(std::move(baseTopic)), timeoutMs_(timeoutMs),
      interrupted_(std::move(interrupted)) {
    probe_ = topics_.Base() + "/tr640ctl/" + std::to_string(::getpid()) + "/probe";
    QObject::connect(&mqtt_, &MqttClient::MessageReceived, this,
                     [this](const std::string& topic, const std::string& payload, bool) { OnMessage(topic, payload); });
    QObject::connect(&mqtt_, &MqttClient::AttemptFailed, this, [this](const std::string& why) {
        if (attemptFailed_.empty()) attemptFailed_ = why.empty() ? "no answer" : why;
    });
    QObject::connect(&mqtt_, &MqttClient::Disconnected, this, [this] { brokerLost_ = true; });
}

BrokerUnit::~BrokerUnit() = default;

bool BrokerUnit::Fail(int code, std::string message) {
    if (failure_.code == kExitOk) failure_ = {code, std::move(message)};
    return false;
}

// Runs the event loop until `done`, the broker goes away, the time-out
// runs out or the user interrupts.
bool BrokerUnit::WaitFor(const std::function<bool()>& done, const char* what) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (failure_.code != kExitOk) return false;
        if (brokerLost_) return Fail(kExitBroker, "the broker went away while " + std::string(what));
        if (interrupted_ && interrupted_()) return Fail(kExitInterrupted, "interrupted while " + std::string(what));
        if (clock.elapsed() >= timeoutMs_)
            return Fail(kExitTimeout, "no answer from the bridge in time while " + std::string(what));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, kPollMs);
    }
    return true;
}

// The probe goes after the subscriptions: once it comes back, the broker
// has sent every retained message they match.
bool BrokerUnit::Settled() {
    probed_ = false;
    mqtt_.Subscribe(probe_);
    mqtt_.Publish(probe_, "", false);
    return WaitFor([this] { return probed_; }, "reading the bridge's topics");
}

bool BrokerUnit::ReachBroker() {
    if (mqtt_.IsConnected()) return true;
    if (!mqtt_.Start()) return Fail(kExitBroker, mqtt_.LastError());
    QElapsedTimer clock;
    clock.start();
    while (!mqtt_.IsConnected()) {
        if (!attemptFailed_.empty()) return Fail(kExitBroker, "the broker cannot be reached: " + attemptFailed_);
        if (interrupted_ && interrupted_()) return Fail(kExitInterrupted, "interrupted while reaching the broker");
        if (clock.elapsed() >= timeoutMs_) return Fail(kExitBroker, "the broker did not answer in time");
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, kPollMs);
    }
    return true;
}

// The bridge's state and its list of units, retained.
bool BrokerUnit::ReachBridge() {
    if (units_) return true;
    if (!ReachBroker()) return false;
    mqtt_.Subscribe(topics_.BridgeState());
    mqtt_.Subscribe(topics_.Units());
    if (!Settled()) return false;
    if (bridgeState_ != "online" || !units_)
        return Fail(kExitOffline, "no tr640-bridge is online on the broker (" + topics_.BridgeState() + " is " +
                                      (bridgeState_ ? "'" + *bridgeState_ + "'" : "not set") + ")");
    return true;
}

std::vector<UnitListing> BrokerUnit::List() {
    if (!ReachBridge()) return {};
    return *units_;
}

bool BrokerUnit::Connect(const DeviceChoice& choice) {
    if (!ReachBridge()) return false;
    std::vector<std::size_t> fitting;
    for (std::size_t i = 0; i < units_->size(); ++i) {
        const HidDeviceInfo& info = (*units_)[i].info;
        if (!choice.serial.empty() && info.serial != choice.serial) continue;
        if (!choice.path.empty() && info.path != choice.path) continue;
        fitting.push_back(i);
    }
    if (fitting.empty())
        return Fail(kExitNoUnit, units_->empty() ? "the bridge reports no TR640"
                                                 : "the bridge reports no TR640 of that serial number or path");
    if (fitting.size() > 1) return Fail(kExitUsage, "the bridge has several TR640s: choose one with --serial");
    const UnitListing& unit = (*units_)[fitting.front()];
    if (!unit.offline.empty()) return Fail(kExitOffline, "the bridge reports the TR640 offline (" + unit.offline + ")");
    unit_ = UnitTopicName(UnitLock::KeyOf(unit.info.serial, unit.info.path));
    mqtt_.Subscribe(topics_.State(unit_));
    mqtt_.Subscribe(topics_.Availability(unit_));
    mqtt_.Subscribe(topics_.Response(unit_));
    if (!Settled()) return false;
    if (availability_ != "online") return Fail(kExitOffline, "the bridge reports the TR640 offline");
    // An online unit's state is retained: it is there, if not always
    // before the probe.
    return WaitFor([this] { return stateRead_; }, "reading the unit's values");
}

void BrokerUnit::OnMessage(const std::string& topic, const std::string& payload) {
    if (topic == probe_) {
        probed_ = true;
    } else if (topic == topics_.BridgeState()) {
        bridgeState_ = payload;
        if (payload != "online" && waiting_) Fail(kExitOffline, "the bridge went offline");
    } else if (topic == topics_.Units()) {
        ReadUnits(payload);
    } else if (!unit_.empty() && topic == topics_.State(unit_)) {
        stateRead_ = ReadState(payload) || stateRead_;
    } else if (!unit_.empty() && topic == topics_.Availability(unit_)) {
        availability_ = payload;
        if (payload != "online" && waiting_) Fail(kExitOffline, "the bridge reports the TR640 offline");
    } else if (!unit_.empty() && topic == topics_.Response(unit_)) {
        const FlatJsonResult json = ParseFlatJsonObject(payload);
        if (!json.object) return;
        Response response;
        Waiting answers;
        for (const auto& [name, value] : json.object->members) {
            if (name == "status") response.ok = value.text == "ok";
            if (name == "error") response.error = value.text;
            if (name == "command") answers.command = value.text;
            if (name == "transaction") answers.transaction = value.text;
        }
        if (waiting_ && answers.command == waiting_->command && answers.transaction == waiting_->transaction)
            response_ = response;
    }
}

bool BrokerUnit::ReadUnits(const std::string& payload) {
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(payload));
    if (!json.isArray()) return false;
    std::vector<UnitListing> units;
    for (const QJsonValue& item : json.array()) {
        const QJsonObject o = item.toObject();
        UnitListing unit;
        unit.info.serial = o["serial"].toString().toStdString();
        unit.info.path = o["path"].toString().toStdString();
        unit.info.productName = o["product"].toString().toStdString();
        if (!o["linked"].toBool()) {
            const std::string why = o["why_not"].toString().toStdString();
            unit.offline = why.empty() ? "not linked" : why;
        }
        units.push_back(std::move(unit));
    }
    units_ = std::move(units);
    return true;
}

// Every value of the state object into the device image.
bool BrokerUnit::ReadState(const std::string& payload) {
    const ChangeList values = ReadStateJson(payload);
    if (!values.ok) return false;
    for (const auto& [address, raw] : values.changes) store_.SetDevice(address, raw);
    store_.CopyDeviceToShown();
    return true;
}

std::string BrokerUnit::NextTransaction() {
    return "tr640ctl-" + std::to_string(::getpid()) + "-" + std::to_string(++transactions_);
}

// Publishes one command and waits for its response, known by the command's
// name and transaction. The bridge answers the command whole: ok once the
// unit took all of it, or the reason it did not.
bool BrokerUnit::Command(const std::string& topic, const std::string& command, const std::string& payload,
                         const std::string& transaction) {
    response_.reset();
    waiting_ = Waiting{command, transaction};
    if (!mqtt_.Publish(topic, payload, false)) return Fail(kExitBroker, "the broker went away");
    const bool answered = WaitFor([this] { return response_.has_value(); }, "waiting for the bridge's response");
    waiting_.reset();
    if (!answered) return false;
    if (!response_->ok) return Fail(kExitRefused, "the bridge refused " + command + ": " + response_->error);
    return true;
}

bool BrokerUnit::SendChanges(const UnitChanges& changes) {
    const std::string transaction = NextTransaction();
    return Command(topics_.SetMany(unit_), "set", ChangeSetJson(changes, transaction), transaction);
}

// Page 1 as a preset file, then the file's system settings as one set, as
// a load does. A preset's bytes carry no transaction: its response is the
// next one for a push.
bool BrokerUnit::PushPreset(const ParamStore& file) {
    ParamStore preset = file;  // a preset file holds the shown values
    preset.CopyDeviceToShown();
    if (!Command(topics_.PresetPush(unit_), "preset/push", JoinPresetLines(WritePresetLines(preset)), {})) return false;
    const PresetFlow::SystemValues system = PresetFlow::SystemValuesOf(file);
    return system.empty() || SendChanges(UnitChanges(system.begin(), system.end()));
}

bool BrokerUnit::RecallMode(int mode) {
    const std::string transaction = NextTransaction();
    return Command(topics_.ModeRecall(unit_), "mode/recall", ValueEnvelope(std::to_string(mode), transaction), transaction);
}

bool BrokerUnit::SaveMode(int mode) {
    const std::string transaction = NextTransaction();
    return Command(topics_.ModeSave(unit_), "mode/save", ValueEnvelope(std::to_string(mode), transaction), transaction);
}

}  // namespace tr640
