// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/DecimalFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tr640 {

namespace {

constexpr int kSignificantDigits = 15;
constexpr int kMaxDecimals = 15;

// Adds one to a string of decimal digits; a carry out of the first digit
// prepends a '1'.
void IncrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

}  // namespace

std::string FormatFixed(double x, int decimals) {
    if (std::isnan(x)) return "NAN";
    if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
    decimals = std::clamp(decimals, 0, kMaxDecimals);

    // "d.dddddddddddddde+XX": the 15 significant digits and the power of ten
    // of the first one.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.*e", kSignificantDigits - 1, std::fabs(x));
    std::string mantissa;
    const char* p = buf;
    for (; *p != 'e'; ++p) {
        if (*p != '.') mantissa.push_back(*p);
    }
    const int exponent = std::atoi(p + 1);

    // The value is 0.m1m2...m15 x 10^(exponent + 1). Keep the digits down to
    // the last decimal place; `keep` counts them from m1 and may be zero or
    // negative when the value is below the last place.
    const int keep = exponent + 1 + decimals;
    std::string units;  // the kept value in units of the last decimal place
    if (keep < 0) {
        units.assign(1, '0');
    } else if (keep == 0) {
        units.assign(1, mantissa[0] >= '5' ? '1' : '0');
    } else if (keep >= kSignificantDigits) {
        units = mantissa + std::string(static_cast<std::size_t>(keep - kSignificantDigits), '0');
    } else {
        units = mantissa.substr(0, static_cast<std::size_t>(keep));
        if (mantissa[static_cast<std::size_t>(keep)] >= '5') IncrementDigits(units);
    }

    const bool zero = units.find_first_not_of('0') == std::string::npos;
    const std::size_t width = static_cast<std::size_t>(decimals) + 1;
    if (units.size() < width) units.insert(0, width - units.size(), '0');
    if (decimals > 0) units.insert(units.size() - static_cast<std::size_t>(decimals), 1, '.');
    if (x < 0 && !zero) units.insert(units.begin(), '-');
    return units;
}

}  // namespace tr640
