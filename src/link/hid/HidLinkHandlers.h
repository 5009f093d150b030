// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/ReportTransport.h"
#include "link/hid/HidDeviceController.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tr640 {

// A report that went by, for the traffic log: an output report as written
// or an input report as read, report id first.
struct TrafficFrame {
    enum class Way : std::uint8_t { Written, Read };
    Way way = Way::Written;
    std::span<const std::uint8_t> report;
};

// A frame's log line: "W %.2x  " with the report id, then "%.2x " for each
// byte after it; or "R %.2x  " with the report id, "%.2x " for each data
// byte, and "L:%.2x " with the data length.
std::string TrafficLine(const TrafficFrame& frame);

// What the link window lends the HID handlers: its device list
// (`DevListBox`), its traffic log (`HistoryListBox`), its `ReportID` field,
// and the link's presence calls and reply parser.
class HidLinkPort {
public:
    virtual ~HidLinkPort() = default;

    virtual void ClearDeviceLines() = 0;
    virtual void AddDeviceLine(const std::string& text) = 0;
    virtual void SetCurrentDeviceLine(int row) = 0;
    // Adds a line to the traffic log and selects it as the newest.
    virtual void AddLogLine(const std::string& line) = 0;
    // Adds a frame's line to the traffic log. A log that nobody may be
    // looking at can keep the bytes instead and word them when it is shown:
    // an idle link passes two frames every 80 ms for as long as it runs.
    virtual void LogFrame(const TrafficFrame& frame) { AddLogLine(TrafficLine(frame)); }
    // Replaces the newest line of the log with `now` if it still reads
    // `was`; false (and nothing changed) otherwise.
    virtual bool AmendLastLogLine(const std::string& was, const std::string& now) {
        (void)was, (void)now;
        return false;
    }
    // The report id of the last output report, two hexadecimal digits; told
    // when it differs from the one told before.
    virtual void SetReportId(const std::string& text) = 0;

    virtual void DevicePresent() = 0;
    virtual void NoDevicePresent() = 0;
    // The selected TR640 is there but not open to this user; called once
    // per plug-in of the unit, after DevicePresent.
    virtual void DeviceNotPermitted() {}
    // The TR640s present are all held by other programs and none was taken;
    // `newPlug` the first time for a plug of the unit.
    virtual void DeviceHeldElsewhere(bool newPlug) { (void)newPlug; }
    // One whole reply: the report id followed by the data bytes.
    virtual void ParseReply(std::span<const std::uint8_t> reply) = 0;
};

// How a device is named in the device list and the log: the product name,
// then its ids, then the serial string when it has a real one.
std::string DeviceDescription(const TJvHidDevice& device);

// "%.2x" as this program prints it: at least two upper-case hex digits.
std::string Hex2(unsigned value);

// The link window's six HID handlers, without the window: the window
// forwards its handlers here (or calls BindEvents) and lends its list boxes
// through HidLinkPort. Also the transport the frame layer writes through.
// Everything runs on the user-interface thread.
class HidLinkHandlers : public ReportTransport {
public:
    explicit HidLinkHandlers(TJvHidDeviceController& controller, HidLinkPort* port = nullptr);

    void SetPort(HidLinkPort* port) {
        port_ = port;
        shownReportId_.reset();
    }

    // Binds the controller's events straight to the handlers below, for a
    // program that has no window to forward them.
    void BindEvents();

    void HidCtlArrival(TJvHidDevice& device);
    void HidCtlRemoval(TJvHidDevice& device);
    void HidCtlDeviceChange();
    bool HidCtlEnumerate(TJvHidDevice& device, int index);
    void HidCtlDeviceData(TJvHidDevice& device, std::uint8_t reportId, std::span<const std::uint8_t> data,
                          std::size_t length);
    void HidCtlDeviceDataError(TJvHidDevice& device, int error);
    // A remark of the platform (no device monitor here), into the log.
    void HidCtlNote(const std::string& text);

    // --- ReportTransport --------------------------------------------------
    bool IsDeviceSelected() const override { return selected_ != nullptr; }
    std::size_t OutputReportLength() const override;
    void WriteReport(std::span<const std::uint8_t> report) override;
    void Log(const std::string& line) override;

    // Asked before a TR640 is taken: false leaves it listed but untaken,
    // because another program drives it. Unset: every TR640 is taken.
    std::function<bool(const TJvHidDevice& device)> MayTake;

    TJvHidDevice* SelectedDevice() const { return selected_; }
    int DeviceCount() const { return deviceCount_; }
    // The taken device of each device-list line, in line order.
    const std::vector<TJvHidDevice*>& LineDevices() const { return lineDevices_; }

private:
    // An error line; a run of the same line stays one line with a count.
    void LogError(const std::string& line);
    void TellIfNotPermitted();
    void TellIfHeldElsewhere();
    void ShowReportId(std::uint8_t reportId);

    TJvHidDeviceController& controller_;
    HidLinkPort* port_;
    std::vector<TJvHidDevice*> lineDevices_;
    int deviceCount_ = 0;
    TJvHidDevice* selected_ = nullptr;
    std::string lastError_;
    int lastErrorRepeats_ = 0;
    // The plugs of the listed units the user has been told may not be
    // opened, each as path and instance.
    std::set<std::pair<std::string, std::string>> toldNotPermitted_;
    // Likewise the plugs found held by another program.
    std::set<std::pair<std::string, std::string>> toldHeld_;
    std::vector<const TJvHidDevice*> heldElsewhere_;
    std::optional<std::uint8_t> shownReportId_;  // what the port's field shows
    std::vector<std::uint8_t> writeBuffer_;      // kept: a frame goes out every 80 ms
    std::vector<std::uint8_t> replyBuffer_;      // and its answer comes back
    bool parsingReply_ = false;                  // the one in replyBuffer_
};

}  // namespace tr640
