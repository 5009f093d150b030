// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QVariant>
#include <QWidget>

namespace tr640 {

// The integer a control carries for its handlers: its ParamAddress once the
// control map is built, a handle's place in the handle array, or a curve
// button's dynamics band. Kept as the "tag" property so that any window can
// read it from the control alone.
inline int Tag(const QObject* control) {
    return control ? control->property("tag").toInt() : 0;
}

inline void SetTag(QObject* control, int tag) {
    if (control) control->setProperty("tag", tag);
}

}  // namespace tr640
