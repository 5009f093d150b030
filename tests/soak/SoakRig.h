// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "soak/SoakDialogs.h"
#include "ui/Program.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTimer>

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tr640::soak {

// What the soak counts, for its report.
struct SoakCounts {
    long changes = 0;         // parameter changes the windows made
    long changesSent = 0;     // ... of which the link was idle and meant to send
    long connectReads = 0;    // connections read through (every reconnect)
    long modeReloads = 0;
    long writeAlls = 0;       // preset loads written to the device
    long checkedValues = 0;   // values compared with the device after quiet periods
    long refusedValues = 0;   // mismatches the device had refused (the program said so)
};

// The whole program over the virtual HID bus, with everything the soak
// plays with: the TR640 that is normally plugged in ("unit A"), a second
// TR640 that comes and goes ("unit B", whose memory differs), a keyboard,
// and the device clock that lets delayed replies come due.
//
// It keeps a ledger of the values the selected device must hold: each change
// the link meant to send is entered against the device selected at that
// moment, and a transfer clears what it rereads or rewrites (the windows then
// show what the device holds, or what was written to it).
class SoakRig {
public:
    static constexpr int kDeviceClockMs = 10;
    // The bus behaves as hidraw and udev do: an unplugged unit's reader fails
    // at once, the notice follows this much later, together with whatever
    // else happened meanwhile (a quick replug lands in the same notice).
    static constexpr int kNoticeDelayMs = 150;

    explicit SoakRig(unsigned seed);
    ~SoakRig();

    Program& program() { return *program_; }
    TForm1& mainWindow() { return program_->mainWindow(); }
    UnitSession& session() { return program_->session(); }
    Link& link() { return program_->link(); }
    VirtualHidBus& bus() { return bus_; }
    SoakDialogs& dialogs() { return *dialogs_; }
    const SoakDialogs& dialogs() const { return *dialogs_; }
    const SoakCounts& counts() const { return counts_; }

    VirtualTr640& unitA() { return unitA_; }
    VirtualTr640& unitB() { return unitB_; }

    // Plugging; each does nothing when already so.
    void PlugA() { Plug(socketA_); }
    void UnplugA() { Unplug(socketA_); }
    void PlugB() { Plug(socketB_); }
    void UnplugB() { Unplug(socketB_); }
    void PlugKeyboard() { Plug(keyboard_); }
    void UnplugKeyboard() { Unplug(keyboard_); }
    bool APlugged() const { return !socketA_.path.empty(); }
    bool BPlugged() const { return !socketB_.path.empty(); }
    bool KeyboardPlugged() const { return !keyboard_.path.empty(); }
    // Paths of the TR640s plugged in, in plug order.
    std::vector<std::string> Tr640Paths() const;

    // The TR640 the program talks to: the one plugged in last. Null when none is.
    VirtualTr640* Selected();

    // Turns every fault of both units and the bus off.
    void ClearFaults();

    // The link is idle with nothing waiting, nothing in flight and no
    // delayed reply still to come.
    bool LinkQuiet();

    // Ledger entries whose device value differs from the shown value, as
    // "address: device x, shown y" lines. A difference at an address whose
    // write the device refused since the entry is counted, not listed.
    std::vector<std::string> LedgerMismatches();
    // "保存成功!" boxes shown without a save a unit took, one line each.
    const std::vector<std::string>& UnexplainedSaveSuccesses() const { return unexplainedSuccesses_; }
    // Controls whose display differs from what the shown image says.
    std::vector<std::string> ControlsOffTheShownImage();
    std::size_t LedgerSize() const { return ledger_.size(); }

    // A trace of the latest events (actions, faults, changes, transfers),
    // printed when a check fails so that the failure can be followed.
    void Note(const std::string& event);
    std::string RecentEvents() const;
    // Drops the ledger's entries for one page: nothing can be said of it.
    void ForgetPage(int page);

private:
    // A device that can be plugged into the bus; `path` is empty while it
    // is out.
    struct Socket {
        HidDeviceInfo info;
        std::shared_ptr<VirtualHidEndpoint> endpoint;
        bool tr640 = false;
        std::string path;
    };

    struct Entry {
        VirtualTr640* device = nullptr;
        std::size_t refusedBefore = 0;  // the device's refusal log length at the time
        std::int32_t value = 0;         // the value changed to (for the report)
    };

    void Plug(Socket& socket);
    void Unplug(Socket& socket);
    void OnChange(int address, std::int32_t value, bool goesOut);
    void OnTransferBegun(int direction, int firstPage);
    void Enter(int address, std::int32_t value);
    void CountSaveSuccess();

    SoakCounts counts_;
    QTemporaryDir folder_;
    VirtualTr640 unitA_;
    VirtualTr640 unitB_;
    VirtualHidBus bus_{VirtualHidBus::Behaviour::LinuxLike};
    Socket socketA_;
    Socket socketB_;
    Socket keyboard_;
    std::vector<std::string> plugOrder_;  // TR640 paths, in plug order
    SoakDialogs* dialogs_ = nullptr;  // owned by the program
    std::unique_ptr<Program> program_;
    QTimer deviceClock_;
    std::map<int, Entry> ledger_;
    long saveSuccesses_ = 0;
    std::vector<std::string> unexplainedSuccesses_;
    std::deque<std::string> trace_;
    QElapsedTimer clock_;
};

}  // namespace tr640::soak
