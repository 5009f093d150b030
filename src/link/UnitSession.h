// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/UnitLock.h"
#include "link/FrameSender.h"
#include "link/Link.h"
#include "link/LinkPorts.h"
#include "link/LinkState.h"
#include "link/QtLinkTimer.h"
#include "link/ReportTransport.h"
#include "link/hid/HidDeviceController.h"
#include "link/hid/HidLinkHandlers.h"
#include "model/ParamStore.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace tr640 {

// What a session writes through: the HID stack over a platform (the program,
// the demo, tr640ctl, the bridge: the session then owns the device
// controller), or a transport straight to a device (tests that drive
// everything on one thread).
struct LinkBackend {
    LinkBackend(HidPlatform& p) : platform(&p) {}       // NOLINT: implicit on purpose
    LinkBackend(ReportTransport& t) : transport(&t) {}  // NOLINT: implicit on purpose
    HidPlatform* platform = nullptr;
    ReportTransport* transport = nullptr;
};

// Where a session's lines go: the traffic log, and the HID side's list of
// the devices it sees. The link window shows them; the command line keeps
// the last ones for --verbose.
class SessionLines {
public:
    virtual ~SessionLines() = default;
    virtual void AddLogLine(const std::string& line) = 0;
    // A frame for the log: worded now, unless the lines keep its bytes
    // to word them when they are shown (see HidLinkPort::LogFrame).
    virtual void LogFrame(const TrafficFrame& frame) { AddLogLine(TrafficLine(frame)); }
    // Replaces the newest log line with `now` if it still reads `was`.
    virtual bool AmendLastLogLine(const std::string& was, const std::string& now) = 0;
    virtual void ClearDeviceLines() {}
    virtual void AddDeviceLine(const std::string& text) { (void)text; }
    virtual void SetCurrentDeviceLine(int row) { (void)row; }
    // The report id of the last output report, two hexadecimal digits; told
    // when it changes.
    virtual void SetReportId(const std::string& text) { (void)text; }
};

// One unit's session: its link, frame sender, HID controller and handlers,
// and the link's three real timers. Every front end runs the unit through
// one of these (the link window, tr640ctl, the bridge one per unit), asks it
// how things stand, gives it commands, and hears what became of them as
// states and outcomes; the words are the front end's.
//
// Without a chosen unit it takes the TR640 present, takes it again when it
// is plugged in again, and keeps going after a loss, as the windows need.
// With a unit path it sees that unit only, however many are plugged in.
class UnitSession final : public QObject {
    Q_OBJECT

public:
    UnitSession(ParamStore& store, LinkBackend backend, SessionLines* lines = nullptr, std::string unitPath = {},
                QObject* parent = nullptr);
    ~UnitSession() override;
    UnitSession(const UnitSession&) = delete;
    UnitSession& operator=(const UnitSession&) = delete;

    // --- Commands ---------------------------------------------------------
    // Looks for units now instead of on the controller's first notice; the
    // link starts with the key once the unit is found.
    void Scan();
    // A unit is there (or gone): for a transport backend, which has no
    // device list of its own.
    void DevicePresent() { link_.DevicePresent(); }
    void NoDevicePresent() { link_.NoDevicePresent(); }
    // The link buttons: connects (again) from the key on.
    void Connect() { link_.StartConnection(); }
    void Send(int address, std::int32_t value) { link_.SendParameter(address, value); }
    // Stores a change without sending it (see Link::StoreChange).
    void Store(int address, std::int32_t value) { link_.StoreChange(address, value); }
    // Reads page 1 again, and page 0 with it when asked.
    void ReadBack(bool withSystemPage);
    // Writes page 1 of the device image (a preset); only when linked and idle.
    void WritePageOne() { link_.WriteAll(); }
    // Mode commands, `mode` 1..5. A recall ends once page 1 has been read
    // again; a save holds the link busy until the unit has taken it.
    void RecallMode(int mode);
    void SaveMode(int mode);
    void SuppressSends(bool suppressed) { link_.SuppressSends(suppressed); }
    // One whole input report (report id first).
    void OnReply(std::span<const std::uint8_t> report);
    void Watch(LinkWatch watch) { link_.Watch(std::move(watch)); }
    // Takes a unit only with its lock in `directory`, as `program`. A unit
    // another program holds is left alone: the outcome HeldByOther (once per
    // plug-in, UnitHolder() names the holder), and another look every
    // kLockRetryMs until it is free, when it links as a unit plugged in.
    void LockUnitsAs(std::string program, std::string directory = UnitLock::DefaultDirectory());
    static constexpr int kLockRetryMs = 2000;

    // --- Tick handlers of the three timers, also called directly by tests -
    void Timer1Timer() { link_.Timer1Timer(); }
    void Timer2Timer() { link_.Timer2Timer(); }
    void HoldTimerTimer() { link_.HoldTimerTimer(); }
    // The lock retry's tick: the units are looked at again.
    void LockRetryTimer();
    // A test owns the ticks: the QTimers never start, and each TickNext
    // moves a clock of the session's own to the tick due first and calls
    // its handler (with none due, the clock moves on by `idleMs`). Called
    // before the session first connects.
    void TickByHand();
    void TickNext(int idleMs);
    std::int64_t HandClockMs() const { return handClockMs_; }

    // --- Queries ----------------------------------------------------------
    LinkStatus State() const { return link_.Status(); }
    bool Linked() const { return link_.Linked(); }
    bool Quiet() const { return link_.Quiet(); }
    bool TransferRunning() const { return link_.TransferRunning(); }
    bool LastTransferWrote() const { return link_.LastTransferWrote(); }
    bool ModeWaiting() const { return link_.ModeWaiting(); }
    bool SendsSuppressed() const { return link_.SendsSuppressed(); }
    bool CanWritePageOne() const { return link_.CanWriteAll(); }
    int ChangesOutstanding() const { return link_.ChangesOutstanding(); }
    // Input reports handed to the link so far (a test that ticks by hand
    // waits for the replies the unit sent before the next tick).
    int RepliesTaken() const { return repliesTaken_; }
    // The unit the session has taken, if any.
    std::optional<HidDeviceInfo> Unit() const;
    // The one unit this session may take; empty when it takes any TR640.
    const std::string& UnitPath() const { return unitPath_; }
    // Who holds the unit last found held by another program.
    const UnitLock::Holder& UnitHolder() const { return holder_; }

    // --- The parts, for the link window and the tests ---------------------
    Link& link() { return link_; }
    const Link& link() const { return link_; }
    FrameSender& sender() { return sender_; }
    TJvHidDeviceController* controller();
    HidLinkHandlers* hidHandlers();
    // 1000 ms: repeats the KeyFrame until the device answers. The unit takes
    // the key in a few milliseconds; a second leaves a slow unit time to
    // wake without flooding it.
    QTimer connectTimer{this};
    // 50 ms: paces block transfers, one block per tick at most, so that a
    // reply arriving twice never skips a block; its time-outs are counted
    // in these ticks.
    QTimer transferTimer{this};
    // 40 ms: the change queue (one frame per acknowledgement, a dragged
    // slider keeps one in flight), the keep-alive and the mode waits.
    QTimer holdTimer{this};
    // While a unit is held elsewhere: looks again until it is free.
    QTimer lockRetryTimer{this};

signals:
    void statusChanged(tr640::LinkStatus status);
    void colourChanged(tr640::LinkColour colour);
    void progressShown(int percent);
    void progressHidden(int percent);
    void outcome(tr640::LinkOutcome outcome);
    // A transfer ended: the device image holds what it read or wrote, and
    // whatever shows it refreshes from it ...
    void deviceImageRead();
    // ... and then the windows select the first band's field.
    void transferEnded();
    // The link has acted on a reply of the unit: a front end that waits for
    // an acknowledgement looks again at once rather than at its next tick.
    void replyTaken();

private:
    class View;
    class HidPort;
    class ChosenPlatform;
    struct HidSide;

    static void SetUpTimer(QTimer& timer, const char* name, int intervalMs);
    std::unique_ptr<HidSide> MakeHidSide(HidPlatform* platform);
    ReportTransport& TransportOf(LinkBackend backend);
    bool MayTake(const TJvHidDevice& device);
    void HeldElsewhere(bool newPlug);
    void NoUnitTaken();

    std::string unitPath_;
    SessionLines* lines_;
    std::string lockProgram_;
    std::unique_ptr<UnitLock> lock_;
    std::string lockedKey_;
    UnitLock::Holder holder_;
    int repliesTaken_ = 0;
    std::int64_t handClockMs_ = 0;
    QtLinkTimer connectPort_{connectTimer};
    QtLinkTimer transferPort_{transferTimer};
    QtLinkTimer holdPort_{holdTimer};
    std::unique_ptr<View> view_;
    std::unique_ptr<HidPort> hidPort_;
    std::unique_ptr<HidSide> hid_;
    FrameSender sender_;
    Link link_;
};

}  // namespace tr640
