// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tr640 {

// The longest input and output report that a HID report descriptor
// declares, in bytes with the report id byte (always counted, as on the
// platforms that report lengths themselves). 0 for a kind it declares none of.
struct ReportLengths {
    std::size_t input = 0;
    std::size_t output = 0;
};

// Walks the short items of a report descriptor, summing Report Size times
// Report Count per report id for each Input and Output item. Long items are
// skipped; a truncated descriptor gives what was read up to the cut.
ReportLengths ReportLengthsFromDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace tr640
