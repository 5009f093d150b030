// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Controls.h"

#include <QPainter>
#include <QPalette>

namespace tr640 {

BitmapImage::BitmapImage(QWidget* parent) : QWidget(parent) {}

void BitmapImage::SetBitmap(const QImage& bitmap) {
    bitmap_ = bitmap;
    update();
}

void BitmapImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, bitmap_);
}

CaptionLine::CaptionLine(const QString& caption, QWidget* parent) : QWidget(parent), caption_(caption) {}

void CaptionLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int textWidth = metrics.horizontalAdvance(caption_);
    const int middle = height() / 2;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(0, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, caption_);
    // An etched line: dark over light, from just after the caption to the end.
    const int from = textWidth + (caption_.isEmpty() ? 0 : 6);
    if (from >= width()) return;
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(from, middle, width() - 1, middle);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(from, middle + 1, width() - 1, middle + 1);
}

}  // namespace tr640
