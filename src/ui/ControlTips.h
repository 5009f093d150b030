// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace tr640 {

struct ParamEntry;

// Tooltips and accessible names of the controls that set a value, made from
// the parameter catalogue: what the control sets, the range and step of each
// parameter behind it and its tr640ctl name, so that the windows never say
// otherwise than `tr640ctl names`.

// The parameter in the window's words: the catalogue's line in English,
// its name's parts in the labels' words otherwise ("话筒1 EQ3 增益").
QString ParamWindowName(const ParamEntry& entry, int language);

// The tooltip of the control named `controlName` (as its objectName), or
// empty when no parameter is behind it.
QString ControlTip(const QString& controlName, int language);
// What a screen reader says for it: the parameter in the window's words.
QString ControlAccessibleName(const QString& controlName, int language);
// Gives every such control under `window` (the window itself included) its
// tooltip and accessible name.
void ApplyControlTips(QWidget& window, int language);

// The compressor window's fields edit one half of a curve point of the band
// it shows, so their tips follow the band: the tooltip and the accessible
// name of the input (or output) field of `point` in dynamics band `band`.
QString CompressorFieldTip(int band, int point, bool input, int language);
QString CompressorFieldAccessibleName(int band, int point, bool input, int language);
// Modify and Reset send the whole curve of the band: what each does and the
// names of the points it sets.
QString CompressorButtonTip(int band, bool reset, int language);

}  // namespace tr640
