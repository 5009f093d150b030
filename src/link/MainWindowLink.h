// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkPorts.h"
#include "model/Language.h"

#include <string>

namespace tr640 {

// What the link needs of the main window: its link label, and the two
// things it does when a transfer has ended.
class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;

    // The link label's text in the program's language, the other as hint.
    virtual void SetLinkLabelText(const Bilingual& text) = 0;
    virtual std::string LinkLabelCaption() const = 0;
    virtual void SetLinkLabelColour(LinkColour colour) = 0;

    // Copies the device image into the shown image and fills every control.
    virtual void RefreshAll() = 0;
    // Selects the first band's frequency field of the shown microphone.
    virtual void SelectFirstBandField() = 0;
};

}  // namespace tr640
