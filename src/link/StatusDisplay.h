// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tr640 {

// Where the link shows what it is doing while a transfer or a mode command
// runs: the status window on top of the windows, or a line on a terminal.
class StatusDisplay {
public:
    virtual ~StatusDisplay() = default;

    // The link label's caption and a progress percentage (transfers report
    // up to 200 once the end code has been answered).
    virtual void ShowLinkProgress(const std::string& linkCaption, int percent, int language) = 0;
    // The final percentage, then out of view.
    virtual void HideLinkProgress(int percent) = 0;
};

}  // namespace tr640
