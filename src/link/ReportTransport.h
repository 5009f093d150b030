// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tr640 {

// What the frame layer needs from a HID transport: whether a device is
// selected, how long its output reports are, a way to write one report, and
// the traffic log. The real hidraw transport and the virtual bus both
// implement it; tests use a recorder.
class ReportTransport {
public:
    virtual ~ReportTransport() = default;

    virtual bool IsDeviceSelected() const = 0;

    // The selected device's output report length, report id included.
    virtual std::size_t OutputReportLength() const = 0;

    // Writes exactly report.size() bytes as one output report; byte 0 is the
    // report id. Logs the written bytes or the failure itself.
    virtual void WriteReport(std::span<const std::uint8_t> report) = 0;

    // Adds one line to the traffic log.
    virtual void Log(const std::string& line) = 0;
};

}  // namespace tr640
