// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tr640 {

// Fixed-point text of a number as the entry fields and readouts show it: at
// least one digit before the point, no thousands separator, '.' as the
// separator, exactly `decimals` digits after it (0 gives the "#0" pattern,
// 1 gives "#0.0", 2 gives "#0.00").
//
// The rounding follows the decimal digits of the number, not its binary
// value: the number is first written with 15 significant digits and that
// decimal text is rounded half away from zero. So 12.25 shows as 12.3 and
// 0.05 as 0.1, where printf would give 12.2 and 0.1 only by luck. A value
// that rounds to zero never carries a minus sign. Non-finite numbers give
// "NAN", "INF" or "-INF". `decimals` is held to 0 .. 15.
std::string FormatFixed(double x, int decimals);

}  // namespace tr640
