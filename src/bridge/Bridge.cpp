// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/Bridge.h"

#include "bridge/BridgeDiscovery.h"
#include "mqtt/BridgePayloads.h"
#include "link/hid/HidDeviceController.h"
#include "model/ParamCatalogue.h"

#include <algorithm>
#include <functional>

namespace tr640 {

namespace {

// Commands waiting for one unit beyond this are refused: a client that
// floods a unit learns so instead of waiting minutes for answers.
constexpr std::size_t kMaxQueuedCommands = 64;

bool IsTr640(const HidDeviceInfo& info) { return info.vendorId == kTr640VendorId && info.productId == kTr640ProductId; }

// A unit's name in topics: its serial, or its path when it has none.
std::string UnitKey(const HidDeviceInfo& info) { return UnitLock::KeyOf(info.serial, info.path); }

}  // namespace

Bridge::Bridge(HidPlatform& platform, MqttClient& mqtt, BridgeOptions options, QObject* parent)
    : QObject(parent), platform_(platform), mqtt_(mqtt), options_(std::move(options)), topics_(options_.base) {
    connect(&platform_, &HidPlatform::DevicesChanged, this, &Bridge::OnDevicesChanged);
    connect(&mqtt_, &MqttClient::Connected, this, &Bridge::OnBrokerConnected);
    connect(&mqtt_, &MqttClient::MessageReceived, this, &Bridge::OnMessage);
    for (const std::string& filter : topics_.CommandFilters()) mqtt_.Subscribe(filter);
    if (options_.homeAssistantPrefix) mqtt_.Subscribe(*options_.homeAssistantPrefix + "/status");
}

Bridge::~Bridge() = default;

std::string Bridge::OutcomeText(UnitOutcome outcome) {
    switch (outcome) {
    case UnitOutcome::Ok: return {};
    case UnitOutcome::NotLinked: return "the unit is offline";
    case UnitOutcome::Busy: return "the unit was busy with a transfer; give the command again";
    case UnitOutcome::Refused: return "the unit refused the command";
    case UnitOutcome::Silent: return "the unit stopped answering";
    case UnitOutcome::Gone: return "the unit was unplugged";
    case UnitOutcome::NoAccess: return "the unit may not be opened by the bridge's user (see the udev rule)";
    }
    return "the unit failed";
}

void Bridge::Start() { OnDevicesChanged(); }

void Bridge::Stop() {
    stopped_ = true;
    for (auto& [name, unit] : units_) Publish(topics_.Availability(name), "offline");
    Publish(topics_.BridgeState(), "offline");
}

std::size_t Bridge::SessionCount() const {
    return static_cast<std::size_t>(
        std::count_if(units_.begin(), units_.end(), [](const auto& u) { return u.second.session != nullptr; }));
}

bool Bridge::Wanted(const HidDeviceInfo& info) const {
    if (!IsTr640(info)) return false;
    return options_.serials.empty() ||
           std::find(options_.serials.begin(), options_.serials.end(), info.serial) != options_.serials.end();
}

Bridge::Unit* Bridge::FindUnit(const std::string& name) {
    const auto it = units_.find(name);
    return it == units_.end() ? nullptr : &it->second;
}

void Bridge::OnDevicesChanged() {
    if (stopped_) return;
    std::map<std::string, HidDeviceInfo> present;
    for (const HidDeviceInfo& info : platform_.Enumerate())
        if (Wanted(info)) present.emplace(UnitTopicName(UnitKey(info)), info);
    std::vector<std::string> gone;
    for (const auto& [name, unit] : units_) {
        const auto it = present.find(name);
        // The same serial on a new plug (another path or instance) is a
        // new session: the old one's handle is dead.
        if (it == present.end() || it->second.path != unit.info.path || it->second.instance != unit.info.instance)
            gone.push_back(name);
    }
    for (const std::string& name : gone) RemoveUnit(name);
    for (const auto& [name, info] : present)
        if (!FindUnit(name)) AddUnit(info);
    // A unit held by another program is tried again at every notice.
    for (auto& [name, unit] : units_)
        if (!unit.session) OpenSession(unit);
    PublishUnits();
}

void Bridge::AddUnit(const HidDeviceInfo& info) {
    Unit unit;
    unit.info = info;
    unit.name = UnitTopicName(UnitKey(info));
    auto& added = units_.emplace(unit.name, std::move(unit)).first->second;
    PublishAvailability(added);
    if (options_.homeAssistantPrefix) PublishDiscovery(added);
}

void Bridge::OpenSession(Unit& unit) {
    if (!unit.info.readWriteAccess) {
        unit.whyNot = "access";
        return;
    }
    unit.lock = std::make_unique<UnitLock>(options_.lockDirectory);
    const UnitLock::Outcome taken = unit.lock->Take(UnitKey(unit.info), options_.programName);
    if (taken != UnitLock::Outcome::Taken) {
        unit.whyNot = taken == UnitLock::Outcome::HeldByOther ? unit.lock->HeldByText() : unit.lock->Error();
        unit.lock.reset();
        return;
    }
    unit.whyNot.clear();
    unit.session = std::make_unique<BridgeUnit>(platform_, unit.info);
    BridgeUnit* session = unit.session.get();
    const std::string name = unit.name;
    connect(session, &BridgeUnit::LinkedChanged, this, [this, name](bool) {
        if (Unit* u = FindUnit(name)) {
            PublishAvailability(*u);
            PublishUnits();
            // Commands that waited for the link go now.
            RunNext(*u);
        }
    });
    connect(session, &BridgeUnit::ValuesConfirmed, this, [this, name] {
        if (Unit* u = FindUnit(name)) PublishUnit(*u, false);
    });
    connect(session, &BridgeUnit::Finished, this, [this, name](UnitOutcome outcome) {
        if (Unit* u = FindUnit(name)) OnFinished(*u, outcome);
    });
    connect(session, &BridgeUnit::ReadyForCommand, this, [this, name] {
        if (Unit* u = FindUnit(name)) RunNext(*u);
    });
    session->Connect();
}

void Bridge::RemoveUnit(const std::string& name) {
    Unit* unit = FindUnit(name);
    if (!unit) return;
    // What waited is answered: the unit that was to carry it out is gone.
    std::deque<Command> waiting = std::move(unit->queue);
    if (unit->running) waiting.push_front(*unit->running);
    unit->session.reset();
    const std::string transaction = unit->runningTransaction;
    for (std::size_t i = 0; i < waiting.size(); ++i)
        Respond(name, waiting[i], false, OutcomeText(UnitOutcome::Gone),
                i == 0 && unit->running ? transaction : TransactionOf(waiting[i].payload));
    Publish(topics_.Availability(name), "offline");
    units_.erase(name);
}

void Bridge::Publish(const std::string& topic, const std::string& payload, bool retain) {
    mqtt_.Publish(topic, payload, retain);
}

void Bridge::PublishUnits() {
    std::vector<UnitListEntry> list;
    for (const auto& [name, unit] : units_)
        list.push_back({unit.info.serial, unit.info.path, unit.info.productName,
                        unit.session && unit.session->Linked(), unit.whyNot});
    Publish(topics_.Units(), UnitsJson(list));
}

void Bridge::PublishAvailability(const Unit& unit) {
    Publish(topics_.Availability(unit.name), unit.session && unit.session->Linked() ? "online" : "offline");
}

void Bridge::PublishUnit(Unit& unit, bool everything) {
    if (!unit.session) return;
    const HeldValue held = [&unit](ParamAddress address) { return unit.session->Confirmed(address); };
    bool changed = false;
    for (const ParamEntry& entry : ParamCatalogue()) {
        if (!IsStateEntry(entry)) continue;
        const auto raw = held(entry.address);
        if (!raw) continue;
        const std::string text = FormatStateValue(entry, *raw).text;
        // Two names share a band's first slot: each keeps its own text.
        auto& last = unit.published[entry.address * 2 + (entry.format == ParamFormat::Bypass ? 1 : 0)];
        if (!everything && last == text) continue;
        last = text;
        changed = true;
        Publish(topics_.Value(unit.name, entry.name), text);
    }
    if (changed || everything) Publish(topics_.State(unit.name), StateJson(held));
}

void Bridge::PublishDiscovery(const Unit& unit) {
    const DiscoveryDevice device{UnitKey(unit.info), unit.info.productName, options_.version};
    for (const DiscoveryMessage& message : DiscoveryConfigs(topics_, *options_.homeAssistantPrefix, device))
        Publish(message.topic, message.payload);
}

void Bridge::OnBrokerConnected() {
    // The broker may have restarted and lost every retained message.
    Publish(topics_.BridgeState(), "online");
    PublishUnits();
    for (auto& [name, unit] : units_) {
        if (options_.homeAssistantPrefix) PublishDiscovery(unit);
        PublishAvailability(unit);
        if (unit.session && unit.session->Linked()) PublishUnit(unit, true);
    }
}

void Bridge::OnMessage(const std::string& topic, const std::string& payload, bool retained) {
    if (options_.homeAssistantPrefix && topic == *options_.homeAssistantPrefix + "/status") {
        if (payload == "online") OnBrokerConnected();
        return;
    }
    // A retained command is an old one: a client's mistake, not an order.
    if (retained) return;
    const auto command = topics_.ParseCommandTopic(topic);
    if (!command) return;
    Unit* unit = FindUnit(command->unit);
    if (!unit) {
        Respond(command->unit, {*command, payload}, false, "no TR640 '" + command->unit + "' on this bridge",
                TransactionOf(payload));
        return;
    }
    Enqueue(*unit, {*command, payload});
}

void Bridge::Enqueue(Unit& unit, Command command) {
    if (unit.queue.size() >= kMaxQueuedCommands) {
        Respond(unit.name, command, false, "too many commands are waiting for this unit",
                TransactionOf(command.payload));
        return;
    }
    unit.queue.push_back(std::move(command));
    RunNext(unit);
}

void Bridge::RunNext(Unit& unit) {
    while (!unit.running && !unit.queue.empty()) {
        // A linked unit in a transfer takes the command once it is done.
        if (unit.session && unit.session->Linked() && !unit.session->Ready()) return;
        Command command = std::move(unit.queue.front());
        unit.queue.pop_front();
        std::string transaction, error;
        std::function<void()> go;
        if (!unit.session || !unit.session->Linked()) {
            Respond(unit.name, command, false,
                    unit.whyNot.empty() ? OutcomeText(UnitOutcome::NotLinked) : "the unit is " + unit.whyNot,
                    TransactionOf(command.payload));
            continue;
        }
        if (!CheckCommand(unit, command, transaction, error, go)) {
            Respond(unit.name, command, false, error, transaction);
            continue;
        }
        // Running before it goes: the session may end it at once.
        unit.running = std::move(command);
        unit.runningTransaction = transaction;
        go();
    }
}

// Checks the command whole; `go` then hands it to the session. False with
// the reason when nothing may be sent.
bool Bridge::CheckCommand(Unit& unit, const Command& command, std::string& transaction, std::string& error,
                          std::function<void()>& go) {
    BridgeUnit* session = unit.session.get();
    const HeldValue held = [session](ParamAddress address) { return session->Confirmed(address); };
    if (command.topic.kind == CommandKind::SetMany) {
        const ChangeList changes = ParseChangeSet(command.payload, held, transaction);
        if (!changes.ok) return error = changes.error, false;
        go = [session, changes] { session->SendChanges(changes.changes); };
        return true;
    }
    if (command.topic.kind == CommandKind::PushPreset) {
        auto scratch = std::make_shared<ParamStore>();
        const PresetPush push = ReadPresetPush(command.payload, *scratch);
        if (!push.ok) return error = push.error, false;
        go = [session, scratch] { session->WritePage1(*scratch); };
        return true;
    }
    const CommandEnvelope envelope = OpenEnvelope(command.payload);
    transaction = envelope.transactionJson;
    if (!envelope.ok) return error = envelope.error, false;
    if (command.topic.kind == CommandKind::SetValue) {
        const ChangeList changes = ParseOneChange(command.topic.name, envelope.value, held);
        if (!changes.ok) return error = changes.error, false;
        go = [session, changes] { session->SendChanges(changes.changes); };
        return true;
    }
    const ModeNumber mode = ParseModeNumber(envelope.value);
    if (!mode.ok) return error = mode.error, false;
    const bool recall = command.topic.kind == CommandKind::RecallMode;
    go = [session, recall, mode] { recall ? session->RecallMode(mode.mode) : session->SaveMode(mode.mode); };
    return true;
}

void Bridge::OnFinished(Unit& unit, UnitOutcome outcome) {
    if (!unit.running) return;
    const Command command = std::move(*unit.running);
    unit.running.reset();
    Respond(unit.name, command, outcome == UnitOutcome::Ok, OutcomeText(outcome), unit.runningTransaction);
    RunNext(unit);
}

void Bridge::Respond(const std::string& unitName, const Command& command, bool ok, const std::string& error,
                     const std::string& transaction) {
    Publish(topics_.Response(unitName), ResponseJson(command.topic.command, ok, error, transaction), false);
}

}  // namespace tr640
