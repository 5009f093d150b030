// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ColourButton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace tr640 {

void ColourButton::paintEvent(QPaintEvent*) {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRgb colour = palette().color(QPalette::Button).rgba();
    auto kept = drawnWith_.find(colour);
    // A palette that differs in more than the colour (the application's
    // changed) replaces the one kept for it.
    if (kept == drawnWith_.end() || kept->second != palette())
        kept = drawnWith_.insert_or_assign(colour, palette()).first;
    option.palette = kept->second;
    QStylePainter painter(this);
    painter.drawControl(QStyle::CE_PushButton, option);
}

}  // namespace tr640
