// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include <utility>

namespace tr640 {

QtDialogs::QtDialogs(QWidget* owner, QString applicationTitle)
    : owner_(owner), applicationTitle_(std::move(applicationTitle)) {}

QWidget* QtDialogs::Owner() const {
    // The link window owns its boxes but is never shown; a box centred over
    // a hidden window would land in a corner of the screen.
    if (owner_ && owner_->isVisible()) return owner_;
    return QApplication::activeWindow();
}

QString QtDialogs::ApplicationTitle() const {
    return applicationTitle_.isEmpty() ? QApplication::applicationDisplayName() : applicationTitle_;
}

void QtDialogs::Message(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, Owner());
    box.exec();
}

bool QtDialogs::Confirm(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, Owner());
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool QtDialogs::Choose(const QString& caption, const QString& text, const QString& first, const QString& second) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, Owner());
    QPushButton* yes = box.addButton(first, QMessageBox::AcceptRole);
    box.addButton(second, QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

void QtDialogs::PlainMessage(const QString& text) { Message(ApplicationTitle(), text); }

namespace {

QString RunFileDialog(QWidget* owner, QFileDialog::AcceptMode mode, const QString& filter) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(mode);
    // Open accepts a name that does not exist (the reader then reports it),
    // and save overwrites without asking.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace

QString QtDialogs::SaveFileName(const QString& filter) {
    return RunFileDialog(Owner(), QFileDialog::AcceptSave, filter);
}

QString QtDialogs::OpenFileName(const QString& filter) {
    return RunFileDialog(Owner(), QFileDialog::AcceptOpen, filter);
}

}  // namespace tr640
