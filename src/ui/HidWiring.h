#pragma once

#include "link/hid/HidLinkHandlers.h"

namespace tr640 {

class TForm9;

// What the link window lends the HID handlers: its device list, traffic
// log and report id field, and the link's presence calls and reply parser.
class LinkWindowHidPort final : public HidLinkPort {
public:
    explicit LinkWindowHidPort(TForm9& form) : form_(form) {}

    void ClearDeviceLines() override;
    void AddDeviceLine(const std::string& text) override;
    void SetCurrentDeviceLine(int row) override;
    void AddLogLine(const std::string& line) override;
    void SetReportId(const std::string& text) override;
    void DevicePresent() override;
    void NoDevicePresent() override;
    void ParseReply(std::span<const std::uint8_t> reply) override;

private:
    TForm9& form_;
};

}  // namespace tr640
