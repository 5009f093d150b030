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

private:
    QPointer<QLabel> label_;
    const int& language_;
    std::function<void()> refreshAll_;
    std::function<void()> selectFirstBandField_;
};

}  // namespace tr640
