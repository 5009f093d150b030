// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPalette>
#include <QPushButton>
#include <QRgb>

#include <map>

namespace tr640 {

// A push button whose face changes colour (the compressor window's Modify
// button: green while an edit waits). Its palette carries the colour, as for
// any button, but it is drawn with one palette kept per colour: the style
// caches the pictures of a button under its palette's identity, and
// setPalette makes a new identity at every change, so a button that went to
// and fro between two colours left a new set of pictures in the style's
// cache each time, until that cache (10 MB) was full.
class ColourButton : public QPushButton {
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    // How many palettes it keeps: one per colour it has been drawn in.
    std::size_t PalettesKept() const { return drawnWith_.size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::map<QRgb, QPalette> drawnWith_;
};

}  // namespace tr640
