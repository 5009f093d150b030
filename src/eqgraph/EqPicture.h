// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamStore.h"

#include <QImage>

namespace tr640 {

// The graph's bitmap for a microphone as the graph paints it (ground, grid
// and curve, at the main window's size), without a window: for saving the
// curve as a picture from the command line. Needs Qt Gui, no widgets.
QImage EqGraphPicture(const ParamStore& store, int mic);

}  // namespace tr640
