// SPDX-License-Identifier: GPL-3.0-or-later
#include "soak/SoakRig.h"

#include "link/Frames.h"
#include "model/ControlMap.h"
#include "model/ParamAddress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace tr640::soak {

namespace {

// What the device keeps for a value the program holds.
std::uint16_t DeviceWord(std::int32_t value) {
    const WireWord w = EncodeWord(value);
    return static_cast<std::uint16_t>(w.high << 8 | w.low);
}

// How a control shows its value, as text, for comparing two moments.
QString Display(const QWidget* control) {
    if (auto* field = qobject_cast<const QLineEdit*>(control)) return field->text();
    if (auto* box = qobject_cast<const QComboBox*>(control))
        return QString::number(box->currentIndex()) + QLatin1Char(' ') + box->currentText();
    if (auto* bar = qobject_cast<const QSlider*>(control)) return QString::number(bar->value());
    if (auto* check = qobject_cast<const QCheckBox*>(control)) return check->isChecked() ? "checked" : "clear";
    return {};
}

// Whether a field's text and the text a refresh gives show the same value.
// A field shows a number as it was typed or dragged, with one decimal,
// while the device keeps it at its own resolution (whole hertz, milliseconds
// and percent, the 0.2 dB gain step, the whole release multiple): the two
// may differ by that rounding and no more.
bool SameShowing(const QString& field, const QString& refreshed) {
    if (field == refreshed) return true;
    static const QRegularExpression number(QStringLiteral("^(\\D*?)(-?\\d+(?:\\.\\d+)?)(\\D*)$"));
    const QRegularExpressionMatch a = number.match(field);
    const QRegularExpressionMatch b = number.match(refreshed);
    if (!a.hasMatch() || !b.hasMatch() || a.captured(1) != b.captured(1) || a.captured(3) != b.captured(3)) return false;
    const double resolution = a.captured(3) == QLatin1String("dB") ? 0.1 : 1.0;
    return std::abs(a.captured(2).toDouble() - b.captured(2).toDouble()) <= resolution + 1e-9;
}

std::string Hex(int address) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", address);
    return text;
}

}  // namespace

SoakRig::SoakRig(unsigned seed)
    : socketA_{VirtualTr640Info("A"), std::make_shared<VirtualTr640Endpoint>(unitA_), true, {}},
      socketB_{VirtualTr640Info("B"), std::make_shared<VirtualTr640Endpoint>(unitB_), true, {}},
      keyboard_{VirtualKeyboardInfo(), std::make_shared<VirtualKeyboard>(), false, {}} {
    // Unit B holds other settings, so that switching to it shows.
    for (int index = 0; index < kPageCount[1]; index += 7)
        unitB_.SetValue(1, static_cast<std::size_t>(index), static_cast<std::uint16_t>(unitA_.Value(1, index) ^ 1));

    bus_.SetNoticeDelay(kNoticeDelayMs);
    auto dialogs = std::make_unique<SoakDialogs>(seed, folder_.path());
    dialogs_ = dialogs.get();
    dialogs_->SetNoter([this](const std::string& text) {
        Note(text);
        if (text == "box: 保存成功!") CountSaveSuccess();
    });
    program_ = std::make_unique<Program>(bus_, std::move(dialogs));
    session().Watch({[this](int address, std::int32_t value, bool goesOut) { OnChange(address, value, goesOut); },
                  [this](int direction, int firstPage) { OnTransferBegun(direction, firstPage); }});

    deviceClock_.setInterval(kDeviceClockMs);
    QObject::connect(&deviceClock_, &QTimer::timeout, [this] {
        unitA_.Tick();
        unitB_.Tick();
    });
    deviceClock_.start();
    clock_.start();
}

SoakRig::~SoakRig() {
    deviceClock_.stop();
    session().Watch({});
}

// --- The bus ------------------------------------------------------------------

void SoakRig::Plug(Socket& socket) {
    if (!socket.path.empty()) return;
    socket.path = bus_.Plug(socket.info, socket.endpoint);
    if (socket.tr640) plugOrder_.push_back(socket.path);
}

void SoakRig::Unplug(Socket& socket) {
    if (socket.path.empty()) return;
    bus_.Unplug(socket.path);
    std::erase(plugOrder_, socket.path);
    socket.path.clear();
}

std::vector<std::string> SoakRig::Tr640Paths() const { return plugOrder_; }

VirtualTr640* SoakRig::Selected() {
    if (plugOrder_.empty()) return nullptr;
    return plugOrder_.back() == socketA_.path ? &unitA_ : &unitB_;
}

void SoakRig::ClearFaults() {
    unitA_.ClearFaults();
    unitB_.ClearFaults();
    for (const std::string& path : plugOrder_) {
        bus_.SetReadError(path, 0);
        bus_.SetWriteError(path, 0);
    }
}

bool SoakRig::LinkQuiet() {
    return session().Quiet() && unitA_.PendingReplies() == 0 && unitB_.PendingReplies() == 0;
}

// --- The trace ------------------------------------------------------------------

void SoakRig::Note(const std::string& event) {
    constexpr std::size_t kTraceLength = 400;
    if (!program_) return;
    const LinkVars& v = link().Vars();
    char head[64];
    std::snprintf(head, sizeof head, "%8.3f s  state %d ready %d queue %2d  ", clock_.elapsed() / 1000.0, v.linkState,
                  v.ready, v.queue.count);
    trace_.push_back(head + event);
    if (trace_.size() > kTraceLength) trace_.pop_front();
}

std::string SoakRig::RecentEvents() const {
    std::string out;
    for (const std::string& line : trace_) out += line + "\n";
    return out;
}

// --- Mode saves -----------------------------------------------------------------

// A save is reported done only once a unit took it: never more "保存成功!"
// boxes than saves the units have taken.
void SoakRig::CountSaveSuccess() {
    ++saveSuccesses_;
    long taken = 0;
    for (const VirtualTr640* unit : {&unitA_, &unitB_})
        for (const auto& write : unit->WriteLog()) taken += write.address == kAddrModeSave;
    if (saveSuccesses_ > taken)
        unexplainedSuccesses_.push_back("\"保存成功!\" number " + std::to_string(saveSuccesses_) + " with " +
                                        std::to_string(taken) + " saves taken by the units");
}

// --- The ledger -----------------------------------------------------------------

void SoakRig::Enter(int address, std::int32_t value) {
    VirtualTr640* device = Selected();
    if (device == nullptr) return;
    ledger_[address] = {device, device->RefusedLog().size(), value};
}

void SoakRig::ForgetPage(int page) {
    std::erase_if(ledger_, [page](const auto& entry) { return PageOf(entry.first) == page; });
}

void SoakRig::OnChange(int address, std::int32_t value, bool goesOut) {
    Note("change " + Hex(address) + " = " + std::to_string(value) + (goesOut ? "" : " (stored only)"));
    ++counts_.changes;
    if (!goesOut) {
        // Only stored: the device keeps its value until a later change or
        // transfer, so nothing can be said of this address for now.
        ledger_.erase(address);
        return;
    }
    ++counts_.changesSent;
    Enter(address, value);
}

void SoakRig::OnTransferBegun(int direction, int firstPage) {
    Note(std::string(direction == 0 ? "read" : "write") + " transfer from page " + std::to_string(firstPage));
    // Every transfer drops the changes still waiting; what it covers is
    // read back (the windows then show the device) or written from the
    // device image (which the windows then show).
    for (int page = firstPage; page <= kLastPage; ++page) ForgetPage(page);
    if (direction == 0) {
        ++(firstPage == 0 ? counts_.connectReads : counts_.modeReloads);
        return;
    }
    ++counts_.writeAlls;
    for (int page = firstPage; page <= kLastPage; ++page)
        for (int index = 0; index < kPageCount[page]; ++index) {
            const int address = MakeAddress(page, index);
            Enter(address, program_->store().Device(address));
        }
}

std::vector<std::string> SoakRig::LedgerMismatches() {
    std::vector<std::string> out;
    const ParamStore& store = program_->store();
    for (const auto& [address, entry] : ledger_) {
        ++counts_.checkedValues;
        const std::uint16_t held = entry.device->Value(static_cast<std::uint16_t>(address));
        if (held == DeviceWord(store.Shown(address))) continue;
        const auto& refused = entry.device->RefusedLog();
        const bool wasRefused = std::any_of(refused.begin() + static_cast<std::ptrdiff_t>(entry.refusedBefore),
                                            refused.end(), [&](const auto& r) { return r.address == address; });
        if (wasRefused) {
            ++counts_.refusedValues;
            continue;
        }
        std::string writes;
        for (const auto& w : entry.device->WriteLog())
            if (w.address == address) writes.append(" ").append(std::to_string(w.value));
        out.push_back(Hex(address) + ": device " + std::to_string(held) + " (took" + writes + "), shown " +
                      std::to_string(store.Shown(address)) + ", changed to " + std::to_string(entry.value) +
                      (entry.device == &unitA_ ? " on unit A" : " on unit B"));
    }
    return out;
}

std::vector<std::string> SoakRig::ControlsOffTheShownImage() {
    // Refilling every control from an image equal to the shown image must
    // change nothing on screen. The store is put back afterwards.
    TForm1& w = mainWindow();
    std::vector<std::pair<QWidget*, QString>> before;
    for (const ControlPlacement& p : ControlPlacements()) {
        for (const std::string& name : {p.valueControl, p.companionControl}) {
            // A Q field stands for two addresses and shows the one its band's
            // type selects; ticking bypass changes the type value without
            // showing the Q again, so until the next refresh the field shows
            // the other address's Q. That is how the field works, not drift.
            if (name.empty() || name.find("QEdit") != std::string::npos) continue;
            if (auto* control = w.findChild<QWidget*>(QString::fromStdString(name)))
                before.emplace_back(control, Display(control));
        }
    }
    ParamStore& store = program_->store();
    const ParamStore saved = store;
    for (int page = 0; page <= kLastPage; ++page)
        for (int index = 0; index < kPageCount[page]; ++index) store.SetDevice(page, index, store.Shown(page, index));
    w.RefreshAll();
    std::vector<std::string> out;
    for (const auto& [control, shown] : before) {
        const QString now = Display(control);
        if (!SameShowing(shown, now))
            out.push_back(control->objectName().toStdString() + ": shows \"" + shown.toStdString() +
                          "\", the shown image says \"" + now.toStdString() + "\"");
    }
    store = saved;
    return out;
}

}  // namespace tr640::soak
