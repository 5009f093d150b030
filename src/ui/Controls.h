// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace tr640 {

// An image control: shows an off-screen bitmap. Whoever draws paints into
// Bitmap() and calls update(); the widget only copies it to the screen, so a
// half-drawn picture is never seen.
class BitmapImage : public QWidget {
    Q_OBJECT

public:
    explicit BitmapImage(QWidget* parent = nullptr);

    QImage& Bitmap() { return bitmap_; }
    const QImage& Bitmap() const { return bitmap_; }
    // Replaces the bitmap (and so its size) and repaints.
    void SetBitmap(const QImage& bitmap);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage bitmap_;
};

// A horizontal separator line with a caption at its left end, dividing the
// rows of a group box into sections.
class CaptionLine : public QWidget {
    Q_OBJECT

public:
    CaptionLine(const QString& caption, QWidget* parent = nullptr);

    QString Caption() const { return caption_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
};

}  // namespace tr640
