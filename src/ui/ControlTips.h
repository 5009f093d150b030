// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace tr640 {

// Tooltips and accessible names of the controls that set a value, made from
// the parameter catalogue: what the control sets, the range and step of each
// parameter behind it and its tr640ctl name, so that the windows never say
// otherwise than `tr640ctl names`.

// The tooltip of the control named `controlName` (as its objectName), or
// empty when no parameter is behind it.
QString ControlTip(const QString& controlName, int language);
// What a screen reader says for it: the parameter's description.
QString ControlAccessibleName(const QString& controlName);
// Gives every such control under `window` (the window itself included) its
// tooltip and accessible name.
void ApplyControlTips(QWidget& window, int language);

}  // namespace tr640
