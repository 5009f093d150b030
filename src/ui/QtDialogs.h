// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/DialogSeam.h"

#include <QPointer>
#include <QWidget>
#include <QString>

class QWidget;

namespace tr640 {

// The real boxes. Each runs modally in its own event loop, so the link's
// timers keep ticking while the user reads it.
class QtDialogs : public Dialogs {
public:
    // `owner` positions the boxes when it is in view; otherwise they sit over
    // the active window. An empty `applicationTitle` means the application's
    // display name at the time a plain message is shown.
    explicit QtDialogs(QWidget* owner = nullptr, QString applicationTitle = {});

    void SetOwner(QWidget* owner) { owner_ = owner; }

    void Message(const QString& caption, const QString& text) override;
    bool Confirm(const QString& caption, const QString& text) override;
    bool Choose(const QString& caption, const QString& text, const QString& first, const QString& second) override;
    void PlainMessage(const QString& text) override;
    QString SaveFileName(const QString& filter) override;
    QString OpenFileName(const QString& filter) override;

private:
    QWidget* Owner() const;
    QString ApplicationTitle() const;

    QPointer<QWidget> owner_;
    QString applicationTitle_;
};

}  // namespace tr640
