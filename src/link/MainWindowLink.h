// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkPorts.h"
#include "link/LinkState.h"
#include "model/Language.h"

#include <string>

namespace tr640 {

// What the link window needs of the main window: its link label, which
// words the link's states and outcomes in the program's language, and the
// two things it does when a transfer has ended.
class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;

    // The link label's text for the status, in the program's language with
    // the other as hint; statuses without a text leave it as it is.
    virtual void ShowLinkStatus(LinkStatus status) = 0;
    virtual std::string LinkLabelCaption() const = 0;
    virtual void SetLinkLabelColour(LinkColour colour) = 0;
    // The box an outcome calls for, if any.
    virtual void TellLinkOutcome(LinkOutcome outcome) = 0;
    // The unit present is driven by another program (`program`, process
    // `pid`): said once per plug-in; the windows link once it is free.
    virtual void TellUnitHeld(const std::string& program, long pid) = 0;

    // Copies the device image into the shown image and fills every control.
    virtual void RefreshAll() = 0;
    // Selects the first band's frequency field of the shown microphone.
    virtual void SelectFirstBandField() = 0;
};

}  // namespace tr640
