// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One unit as the bridge runs it, without waiting in nested event loops:
// the unit's UnitSession, narrowed to that unit's path, plus what the bridge
// adds: one command at a time that returns at once and ends with a typed
// outcome, and the values the unit acknowledged or sent, kept apart from
// what was merely asked for, so the state the bridge publishes is always
// what the unit holds.

#include "link/LinkState.h"
#include "link/UnitSession.h"
#include "link/hid/HidPlatform.h"
#include "model/ParamAddress.h"
#include "model/ParamStore.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace tr640 {

enum class UnitOutcome {
    Ok,
    NotLinked,  // the unit is not linked (yet, or any more)
    Busy,       // another command runs
    Refused,    // the unit refused a frame
    Silent,     // the unit stopped answering
    Gone,       // the unit was unplugged
    NoAccess,   // the unit may not be opened by this user
};

class BridgeUnit : public QObject {
    Q_OBJECT
public:
    using Changes = std::vector<std::pair<int, std::int32_t>>;

    BridgeUnit(HidPlatform& platform, HidDeviceInfo unit, QObject* parent = nullptr);
    ~BridgeUnit() override;

    // Opens the unit and links (the key, then pages 0 and 1); links again by
    // itself after a loss.
    void Connect();
    bool Linked() const { return linked_; }
    bool Busy() const { return pending_.has_value(); }
    // Linked, no command running and the link idle (no transfer): a command
    // given now goes out at once. A change given during a transfer would
    // only be stored, never sent.
    bool Ready() const;
    const HidDeviceInfo& Unit() const { return unit_; }

    // What the unit acknowledged or sent at an address; nothing before the
    // first read.
    std::optional<std::int32_t> Confirmed(ParamAddress address) const;

    // Each ends in Finished. A command given while another runs or while
    // the unit is not linked ends at once.
    void SendChanges(const Changes& changes);
    void RecallMode(int mode);  // ends once the mode's values have been read
    void SaveMode(int mode);
    void WritePage1(const ParamStore& source);

    // Ticks: the check looks at the clock for a command that waits too long
    // and starts a read after a failed command; the relink starts the link
    // again after a loss.
    void OnCheckTick();
    void OnRelinkTick();

    static constexpr int kCheckMs = 100;
    static constexpr int kRelinkMs = 2000;
    static constexpr int kCommandTimeoutMs = 8000;

signals:
    void LinkedChanged(bool linked);
    // The confirmed values changed (a read, an acknowledged change).
    void ValuesConfirmed();
    void Finished(UnitOutcome outcome);
    // Ready() has become true.
    void ReadyForCommand();

private:
    struct Pending {
        std::function<bool()> done;
        Changes changes;  // confirmed once done
        QElapsedTimer clock;
    };

    bool Start(std::function<bool()> done, Changes changes = {});
    void OnOutcome(LinkOutcome outcome);
    void OnStatus(LinkStatus status);
    void EvaluateSoon();
    void Evaluate();
    void Finish(UnitOutcome outcome);
    void Lose(UnitOutcome outcome);
    void OnRefresh();
    bool LinkQuiet() const { return session_ && session_->Quiet(); }
    bool LinkIdle() const { return session_ && session_->Linked() && !session_->TransferRunning(); }

    HidPlatform& platform_;
    HidDeviceInfo unit_;
    bool linked_ = false;
    bool read_ = false;  // a whole read arrived since the link was made
    int refreshes_ = 0;
    bool saveDone_ = false;
    bool unsent_ = false;  // the link only stored a change of the running command
    bool wasReady_ = false;
    bool evaluateQueued_ = false;
    // A command failed part way: what the unit holds is read again before
    // the next command, so the state shows the truth.
    bool rereadDue_ = false;
    std::optional<UnitOutcome> failure_;
    std::optional<Pending> pending_;
    ParamStore confirmed_;

    ParamStore store_;  // the session's image; outlives the session
    QTimer checkTimer_, relinkTimer_;
    std::unique_ptr<UnitSession> session_;
};

}  // namespace tr640
