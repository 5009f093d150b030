// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/HidLinkHandlers.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tr640 {

namespace {

std::string Format(const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

// "%.2X": at least two upper-case hex digits. Every frame's line has a few
// of these and 64 bytes besides, so no formatting machinery.
void AppendHex(std::string& text, unsigned value) {
    char digits[2 * sizeof value];
    int n = 0;
    do {
        digits[n++] = kHexDigits[value & 0x0F];
        value >>= 4;
    } while (value != 0);
    if (n < 2) digits[n++] = '0';
    while (n > 0) text += digits[--n];
}

// Two upper-case hex digits and a space.
void AppendHexByte(std::string& line, std::uint8_t byte) {
    const char text[3] = {kHexDigits[byte >> 4], kHexDigits[byte & 0x0F], ' '};
    line.append(text, sizeof text);
}

std::string Counted(const std::string& line, int times) {
    return times == 1 ? line : line + " (x" + std::to_string(times) + ")";
}

}  // namespace

std::string Hex2(unsigned value) {
    std::string text;
    AppendHex(text, value);
    return text;
}

std::string TrafficLine(const TrafficFrame& frame) {
    const bool written = frame.way == TrafficFrame::Way::Written;
    const std::span<const std::uint8_t> report = frame.report;
    const std::span<const std::uint8_t> bytes = report.empty() ? report : report.subspan(1);
    std::string line;
    line.reserve(16 + 3 * bytes.size());
    line += written ? "W " : "R ";
    AppendHex(line, report.empty() ? 0u : report[0]);
    line += "  ";
    for (std::uint8_t byte : bytes) AppendHexByte(line, byte);
    if (!written) {
        line += "L:";
        AppendHex(line, static_cast<unsigned>(bytes.size()));
        line += ' ';
    }
    return line;
}

std::string DeviceDescription(const TJvHidDevice& device) {
    char ids[40];
    std::snprintf(ids, sizeof ids, "Device VID=%.4X PID=%.4X", static_cast<unsigned>(device.VendorID()),
                  static_cast<unsigned>(device.ProductID()));
    std::string text = device.ProductName() + ids;
    // Devices without a serial number may hand back their language ids in
    // its place, which says nothing about the device.
    const std::string& serial = device.SerialNumber();
    if (!serial.empty() && serial != device.LanguageString()) text += " (自定义HID描述符=" + serial + ")";
    return text;
}

HidLinkHandlers::HidLinkHandlers(TJvHidDeviceController& controller, HidLinkPort* port)
    : controller_(controller), port_(port) {}

void HidLinkHandlers::BindEvents() {
    controller_.OnArrival = [this](TJvHidDevice& d) { HidCtlArrival(d); };
    controller_.OnRemoval = [this](TJvHidDevice& d) { HidCtlRemoval(d); };
    controller_.OnDeviceChange = [this] { HidCtlDeviceChange(); };
    controller_.OnEnumerate = [this](TJvHidDevice& d, int index) { return HidCtlEnumerate(d, index); };
    controller_.OnDeviceData = [this](TJvHidDevice& d, std::uint8_t id, std::span<const std::uint8_t> data,
                                      std::size_t length) { HidCtlDeviceData(d, id, data, length); };
    controller_.OnDeviceDataError = [this](TJvHidDevice& d, int error) { HidCtlDeviceDataError(d, error); };
    controller_.OnNote = [this](const std::string& text) { HidCtlNote(text); };
}

void HidLinkHandlers::Log(const std::string& line) {
    if (port_) port_->AddLogLine(line);
}

void HidLinkHandlers::HidCtlArrival(TJvHidDevice& device) { Log("Arrival of " + DeviceDescription(device)); }

void HidLinkHandlers::HidCtlRemoval(TJvHidDevice& device) { Log("Removal of " + DeviceDescription(device)); }

void HidLinkHandlers::HidCtlNote(const std::string& text) { Log(text); }

void HidLinkHandlers::HidCtlDeviceChange() {
    // Release everything the old list had taken; the controller puts fresh
    // objects in place of those still present.
    const std::vector<TJvHidDevice*> old = std::move(lineDevices_);
    lineDevices_.clear();
    selected_ = nullptr;
    controller_.Release(old);
    if (port_) port_->ClearDeviceLines();
    deviceCount_ = 0;
    heldElsewhere_.clear();

    controller_.Enumerate();
    deviceCount_ = static_cast<int>(lineDevices_.size());

    if (!lineDevices_.empty() && port_) port_->SetCurrentDeviceLine(0);
    if (deviceCount_ != 0) {
        // With more than one TR640 present the one listed last is used.
        for (TJvHidDevice* device : lineDevices_)
            if (device->IsTr640() && device->IsTaken()) selected_ = device;
    }
    if (!port_) return;
    if (selected_)
        port_->DevicePresent();
    else
        port_->NoDevicePresent();
    TellIfNotPermitted();
    TellIfHeldElsewhere();
}

void HidLinkHandlers::TellIfHeldElsewhere() {
    std::erase_if(toldHeld_, [&](const auto& plug) {
        return std::none_of(heldElsewhere_.begin(), heldElsewhere_.end(), [&](const TJvHidDevice* d) {
            return d->DevicePath() == plug.first && d->Instance() == plug.second;
        });
    });
    if (selected_ || heldElsewhere_.empty() || !port_) return;
    bool newPlug = false;
    for (const TJvHidDevice* device : heldElsewhere_)
        newPlug = toldHeld_.emplace(device->DevicePath(), device->Instance()).second || newPlug;
    port_->DeviceHeldElsewhere(newPlug);
}

void HidLinkHandlers::TellIfNotPermitted() {
    // Forget the plugs that are gone, so that the next plug-in is told again
    // even where the platform can only tell plugs apart by their path.
    std::erase_if(toldNotPermitted_, [&](const auto& plug) {
        return std::none_of(lineDevices_.begin(), lineDevices_.end(), [&](const TJvHidDevice* d) {
            return d->DevicePath() == plug.first && d->Instance() == plug.second;
        });
    });
    // Without the udev rule the unit is listed and the connection only
    // fails; the reason would be in the hidden traffic log alone.
    if (!selected_ || !selected_->IsAccessDenied()) return;
    if (toldNotPermitted_.emplace(selected_->DevicePath(), selected_->Instance()).second && port_)
        port_->DeviceNotPermitted();
}

void HidLinkHandlers::LogError(const std::string& line) {
    // A device that fails keeps failing the same way, until the notice that
    // it is gone arrives: a run of one error is one line with a count, so
    // that it cannot push everything else out of the log.
    if (line == lastError_ && port_ &&
        port_->AmendLastLogLine(Counted(line, lastErrorRepeats_), Counted(line, lastErrorRepeats_ + 1))) {
        ++lastErrorRepeats_;
        return;
    }
    lastError_ = line;
    lastErrorRepeats_ = 1;
    Log(line);
}

bool HidLinkHandlers::HidCtlEnumerate(TJvHidDevice& device, int /*index*/) {
    if (port_) port_->AddDeviceLine(DeviceDescription(device));
    // A unit another program drives stays listed but untaken: two programs
    // on one unit would each take the other's replies for their own.
    if (device.IsTr640() && MayTake && !MayTake(device)) {
        heldElsewhere_.push_back(&device);
    } else {
        controller_.Take(device);
    }
    lineDevices_.push_back(&device);
    return true;
}

// The controller hands over the data with its length, which is the data's
// own size: the log's "L:" shows it.
void HidLinkHandlers::HidCtlDeviceData(TJvHidDevice& /*device*/, std::uint8_t reportId,
                                       std::span<const std::uint8_t> data, std::size_t /*length*/) {
    if (!port_) return;
    // The buffer is kept for the next reply, unless another report comes
    // while this one is parsed (in the event loop of a box that it opened).
    std::vector<std::uint8_t> own;
    std::vector<std::uint8_t>& reply = parsingReply_ ? own : replyBuffer_;
    reply.assign(1, reportId);
    reply.insert(reply.end(), data.begin(), data.end());
    port_->LogFrame({TrafficFrame::Way::Read, reply});
    const bool outer = !std::exchange(parsingReply_, true);
    port_->ParseReply(reply);
    if (outer) parsingReply_ = false;
}

void HidLinkHandlers::HidCtlDeviceDataError(TJvHidDevice& /*device*/, int error) {
    LogError("READ ERROR: " + controller_.ErrorText(error) + " (" + Format("%X", static_cast<unsigned>(error)) + ")");
}

// The field goes on showing an id until another one goes out (only the
// KeyFrame has an id of its own), so it is told only of a change.
void HidLinkHandlers::ShowReportId(std::uint8_t reportId) {
    if (!port_ || shownReportId_ == reportId) return;
    shownReportId_ = reportId;
    port_->SetReportId(Hex2(reportId));
}

std::size_t HidLinkHandlers::OutputReportLength() const {
    return selected_ ? selected_->OutputReportLength() : 0;
}

void HidLinkHandlers::WriteReport(std::span<const std::uint8_t> report) {
    if (!selected_ || report.empty()) return;
    ShowReportId(report[0]);

    // Exactly one output report: a shorter buffer is padded with zeros.
    std::vector<std::uint8_t>& buffer = writeBuffer_;
    buffer.assign(report.begin(), report.end());
    const std::size_t length = selected_->OutputReportLength();
    if (length != 0) buffer.resize(length, 0);

    const HidIoResult result = selected_->WriteOutputReport(buffer);
    if (!result.Ok()) {
        LogError("WRITE ERROR: " + controller_.ErrorText(result.error) + " (" +
                 Format("%X", static_cast<unsigned>(result.error)) + ")");
        return;
    }
    // The report id is logged even when the platform counts no bytes.
    const std::size_t written = std::clamp<std::size_t>(static_cast<std::size_t>(result.bytes), 1, buffer.size());
    if (port_) port_->LogFrame({TrafficFrame::Way::Written, std::span(buffer).first(written)});
}

}  // namespace tr640
