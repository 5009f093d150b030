// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace tr640 {

// Saves a picture of a shown widget as a PNG file, for the documentation.
// On an X server (Qt's xcb platform) the picture is taken from the server,
// as the user sees the window, at the screen's device pixel ratio; on other
// platforms the widget renders itself. True when the file was written.
bool SaveWindowPicture(QWidget& widget, const QString& path);

}  // namespace tr640
