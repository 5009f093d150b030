// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/MainWindowLink.h"

#include <QColor>
#include <QPointer>

#include <functional>
#include <string>

class QLabel;

namespace tr640 {

// The colour of the link label for each state of the link.
QColor LinkLabelColour(LinkColour colour);

// MainWindowLink over a given label: the main window hands over its link
// label and the two things to do after a transfer.
class LinkLabelPort : public MainWindowLink {
public:
    LinkLabelPort(QLabel& label, const int& language, std::function<void()> refreshAll,
                  std::function<void()> selectFirstBandField);

    void SetLinkLabelText(const Bilingual& text) override;
    std::string LinkLabelCaption() const override;
    void SetLinkLabelColour(LinkColour colour) override;
    void RefreshAll() override;
    void SelectFirstBandField() override;
    // Whether the label says a unit is linked and its values read: changes
    // made otherwise are kept by the windows, not sent (the read that
    // follows replaces them).
    bool SaysLinked() const;

private:
    void Show(const char* chinese);
    void Paint(LinkColour colour);

    QPointer<QLabel> label_;
    const int& language_;
    std::function<void()> refreshAll_;
    std::function<void()> selectFirstBandField_;
    // The text last shown, in Chinese (the tables' key); the window starts
    // with the offline text.
    std::string chinese_ = "离线模式";
};

// The label's colour for a text of the link: grey where no unit is linked
// ("设备未连接", "离线模式"), light green once linked and idle, green while
// connecting, transferring or waiting for a mode command. The text and the
// colour then agree in every state of the link, whatever order the link
// sets them in.
LinkColour LinkTextColour(const std::string& chinese);

}  // namespace tr640
