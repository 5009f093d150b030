// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <string>

namespace tr640 {

namespace {

QString KnownCodes() {
    QStringList codes;
    for (const std::string& code : LanguageCodes()) codes << QString::fromStdString(code);
    return codes.join(QStringLiteral(", "));
}

}  // namespace

ProgramOptions ReadProgramOptions(const QStringList& arguments, const QString& description) {
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    // Not addHelpOption(): its --help-all is answered only by process(),
    // which ends the program from inside the reading.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
                                  QStringLiteral("Shows this help."));
    parser.addOption(help);
    const QCommandLineOption language(
        QStringLiteral("language"),
        QStringLiteral("The language of the windows for this run: %1. Chinese (zh) unless given.").arg(KnownCodes()),
        QStringLiteral("code"));
    parser.addOption(language);

    ProgramOptions options;
    const bool parsed = parser.parse(arguments);
    options.helpText = parser.helpText();
    // Help wins over everything else on the line, mistakes included.
    if (parser.isSet(help)) {
        options.outcome = ProgramOptions::Outcome::ShowHelp;
    } else if (!parsed) {
        options.outcome = ProgramOptions::Outcome::Error;
        options.error = parser.errorText();
    } else if (!parser.positionalArguments().isEmpty()) {
        options.outcome = ProgramOptions::Outcome::Error;
        options.error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().front());
    } else if (parser.isSet(language)) {
        const QString code = parser.value(language);
        if (const auto number = LanguageByCode(code.toStdString())) {
            options.language = *number;
        } else {
            options.outcome = ProgramOptions::Outcome::Error;
            options.error = QStringLiteral("Unknown language '%1': use one of %2.").arg(code, KnownCodes());
        }
    }
    return options;
}

bool ShouldStart(const ProgramOptions& options, int& exitStatus) {
    switch (options.outcome) {
        case ProgramOptions::Outcome::Run: return true;
        case ProgramOptions::Outcome::ShowHelp:
            QTextStream(stdout) << options.helpText;
            exitStatus = 0;
            return false;
        case ProgramOptions::Outcome::Error:
            QTextStream(stderr) << options.error << "\n\n" << options.helpText;
            exitStatus = 2;
            return false;
    }
    return true;
}

bool HelpAnswered(int& argc, char** argv, const QString& description) {
    const QCoreApplication reader(argc, argv);
    const ProgramOptions early = ReadProgramOptions(QCoreApplication::arguments(), description);
    if (early.outcome != ProgramOptions::Outcome::ShowHelp) return false;
    int status = 0;
    ShouldStart(early, status);
    return true;
}

bool ReadOptions(const QString& description, ProgramOptions& options, int& exitStatus) {
    options = ReadProgramOptions(QCoreApplication::arguments(), description);
    return ShouldStart(options, exitStatus);
}

}  // namespace tr640
