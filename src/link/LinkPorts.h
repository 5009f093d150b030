// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkState.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tr640 {

// One of the link window's timers. The link starts and stops them; their
// ticks call the link's named tick handlers.
class LinkTimer {
public:
    virtual ~LinkTimer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;

    // The coming tick has nothing to do but count (the hold timer's tick
    // between two keep-alives): a timer that can runs it late, `late` just
    // before the tick after it, and so wakes the program half as often.
    // False when the timer ticks as always (the default).
    virtual bool RunNextTickLate(std::function<void()> late) {
        (void)late;
        return false;
    }
    // What that tick would count is about to change: a late tick whose time
    // has come runs now, and the ticks go on at their usual times.
    virtual void CatchUp() {}
    // Called by each tick's handler first: a tick handled while a late one
    // waits (by hand, not by the timer) stands in for it.
    virtual void TickCame() {}
    // Called by each tick's handler last, after it has asked for a late
    // tick or not.
    virtual void TickEnded() {}
};

enum class LinkColour { Grey, Green, LightGreen };

// What the link reports to whoever runs it: the windows (through the
// session), the command line, tests. Only states and outcomes cross here;
// the words for them are the front end's.
class LinkView {
public:
    virtual ~LinkView() = default;

    // The link's status changed (the main window's link label follows it).
    virtual void ShowStatus(LinkStatus status) = 0;
    virtual void SetLinkLabelColour(LinkColour colour) = 0;

    // Progress of a transfer or a mode wait: shown on top with a percentage
    // (transfers report up to 200 once the end code has been answered), or
    // hidden with a final percentage.
    virtual void ShowProgress(int percent) = 0;
    virtual void HideProgress(int percent) = 0;

    // What became of something, once. A box it leads to is modal; the
    // link's timers keep running while it is open.
    virtual void Report(LinkOutcome outcome) = 0;

    virtual void LogTraffic(const std::string& line) = 0;

    // Copies the device image into the shown image and fills every control.
    virtual void RefreshAll() = 0;
    // After a transfer: when the main page is shown, select the first band's
    // frequency field of the shown microphone, as a click on it would.
    virtual void SelectFirstBandField() = 0;
};

// Lets a watcher follow what becomes of parameter changes without touching
// the link: whether each change was meant to go out at once (the link was
// idle) or only stored, and when a block transfer begins (which drops the
// changes still queued). The long-running soak test uses it to know which
// values the device must hold once the link is quiet. Empty members are
// not called.
struct LinkWatch {
    // `goesOut` is false when the change was only stored: not linked,
    // during a transfer or a mode wait, or while sends are suppressed.
    std::function<void(int address, std::int32_t value, bool goesOut)> changed;
    // direction 0 reads from the device, 1 writes to it; `firstPage` is the
    // first page the transfer covers (it goes on to the last page).
    std::function<void(int direction, int firstPage)> transferBegun;
};

}  // namespace tr640
