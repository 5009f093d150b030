// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowPicture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRect>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <QtMath>

namespace tr640 {

namespace {

// Waits, within a bound, until the server has mapped the window, then paints
// it at once so that what the server holds is the current picture.
bool ShowOnServer(QWidget& window) {
    const QDeadlineTimer deadline(10000);
    while (!(window.windowHandle() && window.windowHandle()->isExposed())) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    QApplication::processEvents();
    window.repaint();
    return true;
}

bool SaveFromServer(QWidget& widget, const QString& path) {
    QWidget& window = *widget.window();
    if (!ShowOnServer(window)) return false;
    // The widget's place in its window, in the server's (device) pixels.
    const qreal ratio = window.devicePixelRatioF();
    const QRect inWindow(widget.mapTo(&window, QPoint(0, 0)), widget.size());
    const QRect device(qRound(inWindow.x() * ratio), qRound(inWindow.y() * ratio), qRound(inWindow.width() * ratio),
                       qRound(inWindow.height() * ratio));
    const QString crop =
        QStringLiteral("%1x%2+%3+%4").arg(device.width()).arg(device.height()).arg(device.x()).arg(device.y());
    QFile::remove(path);
    const int status =
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QString::number(window.winId()),
                                                     QStringLiteral("-crop"), crop, QStringLiteral("+repage"), path});
    return status == 0 && QFile::exists(path);
}

}  // namespace

bool SaveWindowPicture(QWidget& widget, const QString& path) {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) return SaveFromServer(widget, path);
    return widget.grab().save(path, "PNG");
}

}  // namespace tr640
