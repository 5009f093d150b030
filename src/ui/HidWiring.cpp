#include "ui/HidWiring.h"

#include "link/Link.h"
#include "link/Unit9.h"

#include <QLabel>
#include <QListWidget>

namespace tr640 {

void LinkWindowHidPort::ClearDeviceLines() { form_.DevListBox->clear(); }

void LinkWindowHidPort::AddDeviceLine(const std::string& text) {
    form_.DevListBox->addItem(QString::fromStdString(text));
}

void LinkWindowHidPort::SetCurrentDeviceLine(int row) { form_.DevListBox->setCurrentRow(row); }

void LinkWindowHidPort::AddLogLine(const std::string& line) { form_.LogTraffic(QString::fromStdString(line)); }

void LinkWindowHidPort::SetReportId(const std::string& text) { form_.ReportID->setText(QString::fromStdString(text)); }

void LinkWindowHidPort::DevicePresent() { form_.link().DevicePresent(); }

void LinkWindowHidPort::NoDevicePresent() { form_.link().NoDevicePresent(); }

void LinkWindowHidPort::ParseReply(std::span<const std::uint8_t> reply) { form_.link().OnReply(reply); }

}  // namespace tr640
