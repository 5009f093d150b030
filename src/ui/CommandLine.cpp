// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
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
            options.languageGiven = true;
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

bool DisplayNamed(const std::function<QString(const char*)>& environment, const QStringList& arguments) {
    if (arguments.contains(QStringLiteral("-platform"))) return true;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!environment(name).isEmpty()) return true;
    return false;
}

QString NoDisplayText(const QString& program) {
    return QStringLiteral("%1: no display found (DISPLAY and WAYLAND_DISPLAY are not set). Start it in a desktop "
                          "session, or without a screen with QT_QPA_PLATFORM=offscreen %1 or xvfb-run %1.")
        .arg(program);
}

bool NoDisplayAnswered(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const auto environment = [](const char* name) { return qEnvironmentVariable(name); };
    if (DisplayNamed(environment, arguments)) return false;
    const QString program = arguments.isEmpty() ? QStringLiteral("tr640") : QFileInfo(arguments.front()).fileName();
    QTextStream(stderr) << NoDisplayText(program) << "\n";
    return true;
}

namespace {
constexpr char kLanguageKey[] = "language";
QSettings Settings() { return QSettings(QStringLiteral("tr640"), QStringLiteral("tr640")); }
}  // namespace

int RememberedLanguage(int fallback) {
    const QString code = Settings().value(QLatin1String(kLanguageKey)).toString();
    const auto number = LanguageByCode(code.toStdString());
    return number ? *number : fallback;
}

void RememberLanguage(int language) {
    const std::vector<std::string> codes = LanguageCodes();
    for (const std::string& code : codes) {
        if (LanguageByCode(code) != language) continue;
        Settings().setValue(QLatin1String(kLanguageKey), QString::fromStdString(code));
        return;
    }
}

int RunLanguage(const ProgramOptions& options) {
    return options.languageGiven ? options.language : RememberedLanguage(options.language);
}

bool ReadOptions(const QString& description, ProgramOptions& options, int& exitStatus) {
    options = ReadProgramOptions(QCoreApplication::arguments(), description);
    return ShouldStart(options, exitStatus);
}

}  // namespace tr640
