// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CaretRest.h"

#include <QApplication>
#include <QEvent>

namespace tr640 {

CaretRest::CaretRest(QObject* parent) : QObject(parent), flashTimeMs_(QApplication::cursorFlashTime()) {
    restTimer_.setObjectName(QStringLiteral("CaretRestTimer"));
    restTimer_.setSingleShot(true);
    restTimer_.setInterval(kRestAfterMs);
    connect(&restTimer_, &QTimer::timeout, this, &CaretRest::Rest);
    qApp->installEventFilter(this);
    restTimer_.start();
}

CaretRest::~CaretRest() {
    qApp->removeEventFilter(this);
    if (resting_) QApplication::setCursorFlashTime(flashTimeMs_);
}

void CaretRest::Rest() {
    if (resting_) return;
    flashTimeMs_ = QApplication::cursorFlashTime();
    resting_ = true;
    QApplication::setCursorFlashTime(0);
}

void CaretRest::Wake() {
    if (resting_) {
        resting_ = false;
        QApplication::setCursorFlashTime(flashTimeMs_);
    }
    // Restarted at most once a second: a mouse moved across the window
    // sends hundreds of events.
    if (!restTimer_.isActive() || restTimer_.remainingTime() < kRestAfterMs - 1000) restTimer_.start();
}

bool CaretRest::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::InputMethod:
    case QEvent::TouchBegin: Wake(); break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tr640
