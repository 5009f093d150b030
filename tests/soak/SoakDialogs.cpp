// SPDX-License-Identifier: GPL-3.0-or-later
#include "soak/SoakDialogs.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace tr640::soak {

namespace {
// Nobody reads a box for long during a soak; a box opened while two are
// already open is answered at once, which keeps the nesting bounded.
constexpr int kLongestReadMs = 250;
constexpr int kMostOpenBoxes = 2;
}  // namespace

SoakDialogs::SoakDialogs(unsigned seed, QString folder) : random_(seed), folder_(std::move(folder)) {
    // Hex digits, but not a preset: wrong header, no trailer.
    QFile damaged(DamagedPresetPath());
    if (damaged.open(QIODevice::WriteOnly)) damaged.write("0123456789ABCDEF\r\nFEDCBA\r\n");
}

QString SoakDialogs::DamagedPresetPath() const { return QDir(folder_).filePath(QStringLiteral("damaged.Nddt")); }

void SoakDialogs::Read(const QString& text) {
    if (note_) note_("box: " + text.toStdString());
    if (openBoxes_ >= kMostOpenBoxes) return;
    ++openBoxes_;
    QTest::qWait(std::uniform_int_distribution<int>(0, kLongestReadMs)(random_));
    --openBoxes_;
}

QString SoakDialogs::Pick(const std::vector<QString>& names) {
    const auto i = std::uniform_int_distribution<std::size_t>(0, names.size() - 1)(random_);
    return names[i].isEmpty() ? QString() : QDir(folder_).filePath(names[i]);
}

void SoakDialogs::Message(const QString&, const QString& text) {
    ++shown_[text];
    Read(text);
}

bool SoakDialogs::Confirm(const QString&, const QString& text) {
    ++questions_;
    Read(text);
    return std::bernoulli_distribution(0.85)(random_);
}

void SoakDialogs::PlainMessage(const QString& text) {
    ++shown_[text];
    Read(text);
}

QString SoakDialogs::SaveFileName(const QString&) {
    Read(QStringLiteral("save as"));
    // "stage" gets the extension added by the program; "" is Cancel.
    return Pick({QStringLiteral("show.Nddt"), QStringLiteral("rehearsal.Nddt"), QStringLiteral("stage"), {}});
}

QString SoakDialogs::OpenFileName(const QString&) {
    Read(QStringLiteral("open"));
    // Mostly a preset saved earlier in the run (when there is one yet).
    if (std::bernoulli_distribution(0.7)(random_))
        return Pick({QStringLiteral("show.Nddt"), QStringLiteral("rehearsal.Nddt"), QStringLiteral("stage.Nddt")});
    return Pick({QStringLiteral("damaged.Nddt"), QStringLiteral("missing.Nddt"), {}});
}

int SoakDialogs::Shown(const QString& text) const {
    const auto it = shown_.find(text);
    return it == shown_.end() ? 0 : it->second;
}

}  // namespace tr640::soak
