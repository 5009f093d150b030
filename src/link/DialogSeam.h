// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tr640 {

// The dialog seam: every modal box the program shows goes through here, so
// that neither the link nor the preset flow calls a toolkit's dialogs
// directly. The windows answer with real boxes (ui/QtDialogs), the command
// line with text, tests with scripts. Only QtCore's string is used, so
// nothing below the windows needs widgets.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box with the given caption and one OK button.
    virtual void Message(const QString& caption, const QString& text) = 0;
    // A question with Yes and No buttons; true for Yes.
    virtual bool Confirm(const QString& caption, const QString& text) = 0;
    // A question whose two buttons say what each does; true for the first.
    // Without buttons of its own a seam asks it as a Yes/No question.
    virtual bool Choose(const QString& caption, const QString& text, const QString& first, const QString& second) {
        static_cast<void>(first);
        static_cast<void>(second);
        return Confirm(caption, text);
    }
    // A message box with the application's title as caption and one OK button.
    virtual void PlainMessage(const QString& text) = 0;
    // File dialogs with one filter; the chosen path, or empty when cancelled.
    virtual QString SaveFileName(const QString& filter) = 0;
    virtual QString OpenFileName(const QString& filter) = 0;
};

}  // namespace tr640
