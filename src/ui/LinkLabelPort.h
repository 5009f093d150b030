// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/MainWindowLink.h"

#include <QColor>
#include <QPointer>

#include <functional>
#include <string>

class QLabel;

namespace tr640 {

class Dialogs;

// The colour of the link label for each state of the link.
QColor LinkLabelColour(LinkColour colour);

// The link label's text for a status (the Chinese text, which Translate
// turns into English); null for a status that leaves the label as it is.
const char* LinkStatusText(LinkStatus status);
// The label's colour for a status: grey while nothing is linked, light green
// once linked and idle, green while connecting, transferring or waiting for
// a mode command.
LinkColour LinkStatusColour(LinkStatus status);
// Whether a change made in the windows in this status reaches the unit;
// otherwise the windows keep it (the read that follows would replace it).
bool ChangesReachTheUnit(LinkStatus status);

// MainWindowLink over a given label: the main window hands over its link
// label, the dialog seam its boxes go through, and the two things to do
// after a transfer. The words of the link's states and outcomes are here.
class LinkLabelPort : public MainWindowLink {
public:
    LinkLabelPort(QLabel& label, const int& language, Dialogs& dialogs, std::function<void()> refreshAll,
                  std::function<void()> selectFirstBandField);

    void ShowLinkStatus(LinkStatus status) override;
    std::string LinkLabelCaption() const override;
    void SetLinkLabelColour(LinkColour colour) override;
    void TellLinkOutcome(LinkOutcome outcome) override;
    void TellUnitHeld(const std::string& program, long pid) override;
    void RefreshAll() override;
    void SelectFirstBandField() override;
    // Whether the label says a unit is linked and its values read.
    bool SaysLinked() const { return ChangesReachTheUnit(status_); }

private:
    void Paint(LinkColour colour);

    QPointer<QLabel> label_;
    const int& language_;
    Dialogs& dialogs_;
    std::function<void()> refreshAll_;
    std::function<void()> selectFirstBandField_;
    // The window starts offline, until the link says more.
    LinkStatus status_ = LinkStatus::NoUnit;
};

}  // namespace tr640
