// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/Language.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace tr640 {

// What the command line asks of a run. The language is read once, before
// the first window is built, and holds for the whole run.
struct ProgramOptions {
    enum class Outcome { Run, ShowHelp, Error };
    Outcome outcome = Outcome::Run;
    int language = kLanguageChinese;
    bool languageGiven = false;  // --language was on the line
    QString helpText;  // for ShowHelp and Error
    QString error;     // for Error
};

// Reads `arguments` (the program's name first): --language CODE with the
// code of any language the program carries (zh, the default, or en), and
// --help. `description` opens the help text.
ProgramOptions ReadProgramOptions(const QStringList& arguments, const QString& description);

// Runs what ReadProgramOptions decided short of the program itself: prints
// the help (exit status 0) or the error and the help (status 2) and says
// whether the program should start.
bool ShouldStart(const ProgramOptions& options, int& exitStatus);

// The two steps of a program entry. Before the windowing system starts,
// only --help is answered, so that it works without a display (Qt's own
// options such as -platform are still in the arguments then); true when
// the run ends there. Once the application exists and has taken away its
// own options, the rest is read: false when the run ends there, with
// `exitStatus` set.
bool HelpAnswered(int& argc, char** argv, const QString& description);

// Whether the environment names a place for the windows: a Qt platform
// chosen (QT_QPA_PLATFORM, -platform) or an X or Wayland display. Without
// one Qt aborts with a message about reinstalling; `environment` reads a
// variable ("" when unset).
bool DisplayNamed(const std::function<QString(const char*)>& environment, const QStringList& arguments);
// The one line said instead, naming the ways to run with a display.
QString NoDisplayText(const QString& program);
// Says it and returns true (exit status 1) when no display is named.
bool NoDisplayAnswered(int argc, char** argv);

// The language chosen in the menu of an earlier run (QSettings), or
// `fallback` when none was; --language overrides it for one run and is
// not remembered.
int RememberedLanguage(int fallback);
void RememberLanguage(int language);
// The run's language: the command line's, else the remembered one.
int RunLanguage(const ProgramOptions& options);
bool ReadOptions(const QString& description, ProgramOptions& options, int& exitStatus);

}  // namespace tr640
