// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/QtDialogs.h"

#include <QString>

#include <functional>
#include <map>
#include <string>
#include <random>
#include <vector>

namespace tr640::soak {

// Answers the program's boxes the way a person at the desk does: every box
// stays open for a moment while the event loop runs on (as a real modal box
// lets the link's timers tick), most questions get Yes, and the file dialogs
// pick names in one scratch folder, sometimes a damaged or missing file,
// sometimes nothing at all.
class SoakDialogs : public Dialogs {
public:
    SoakDialogs(unsigned seed, QString folder);

    void Message(const QString& caption, const QString& text) override;
    bool Confirm(const QString& caption, const QString& text) override;
    void PlainMessage(const QString& text) override;
    QString SaveFileName(const QString& filter) override;
    QString OpenFileName(const QString& filter) override;

    // How often each message text was shown.
    int Shown(const QString& text) const;
    const std::map<QString, int>& AllShown() const { return shown_; }
    int Questions() const { return questions_; }
    // Boxes currently open (a box can open while another one is).
    int OpenBoxes() const { return openBoxes_; }

    // Called with every box's text as it opens, for the soak's trace.
    void SetNoter(std::function<void(const std::string&)> note) { note_ = std::move(note); }

    // A preset file that the open dialog may offer: the program must refuse it.
    QString DamagedPresetPath() const;

private:
    void Read(const QString& text);
    QString Pick(const std::vector<QString>& names);

    std::mt19937 random_;
    QString folder_;
    std::map<QString, int> shown_;
    int questions_ = 0;
    int openBoxes_ = 0;
    std::function<void(const std::string&)> note_;
};

}  // namespace tr640::soak
