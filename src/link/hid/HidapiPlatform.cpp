// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/HidapiPlatform.h"

#include "link/hid/HidDeviceController.h"
#include "link/hid/ReportDescriptor.h"

#include <QSocketNotifier>
#include <QString>

#include <hidapi/hidapi.h>
#include <libudev.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tr640 {

namespace {

std::string Utf8(const wchar_t* text) {
    if (text == nullptr) return {};
    return QString::fromWCharArray(text).toStdString();
}

std::string NodeName(const std::string& devicePath) {
    const auto slash = devicePath.find_last_of('/');
    return slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
}

// The report descriptor of a hidraw node, as sysfs shows it to everyone.
std::vector<std::uint8_t> ReadReportDescriptor(const std::string& devicePath) {
    std::ifstream file("/sys/class/hidraw/" + NodeName(devicePath) + "/device/report_descriptor", std::ios::binary);
    if (!file) return {};
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class HidapiConnection final : public HidConnection {
public:
    explicit HidapiConnection(hid_device* device) : device_(device) {}
    ~HidapiConnection() override { hid_close(device_); }

    HidIoResult Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
        errno = 0;
        const int n = hid_read_timeout(device_, buffer.data(), buffer.size(), timeoutMs);
        if (n >= 0) return {n, 0};
        const int error = errno;
        if (error == EINTR) return {0, 0};
        // hidapi fails without an errno when poll reports the node hung up.
        return {0, error != 0 ? error : ENODEV};
    }

    HidIoResult Write(std::span<const std::uint8_t> report) override {
        errno = 0;
        const int n = hid_write(device_, report.data(), report.size());
        if (n >= 0) return {n, 0};
        return {0, errno != 0 ? errno : EIO};
    }

private:
    hid_device* device_;
};

// The connection the reports are read from: the hidraw node opened as
// hidapi's hidraw backend opens it, read as it reads (one report per read,
// the bytes as the kernel hands them over), and its descriptor polled by the
// event loop, so that no thread has to wait in reads for the answers.
class HidrawReadConnection final : public HidConnection {
public:
    explicit HidrawReadConnection(int fd) : fd_(fd) {}
    ~HidrawReadConnection() override { ::close(fd_); }
    HidrawReadConnection(const HidrawReadConnection&) = delete;
    HidrawReadConnection& operator=(const HidrawReadConnection&) = delete;

    HidIoResult Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
        pollfd watched{fd_, POLLIN, 0};
        const int ready = ::poll(&watched, 1, timeoutMs);
        if (ready < 0) return {0, errno == EINTR ? 0 : errno};
        if (ready == 0) return {0, 0};
        // An unplugged node hangs up.
        if ((watched.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return {0, ENODEV};
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n >= 0) return {static_cast<int>(n), 0};
        if (errno == EAGAIN || errno == EINTR) return {0, 0};
        return {0, errno};
    }

    HidIoResult Write(std::span<const std::uint8_t> report) override {
        const ssize_t n = ::write(fd_, report.data(), report.size());
        if (n >= 0) return {static_cast<int>(n), 0};
        return {0, errno};
    }

    int ReadableDescriptor() const override { return fd_; }

private:
    int fd_;
};

}  // namespace

std::string HidInstanceName(const std::string& path) {
    // /sys/class/hidraw/hidrawN/device links to the HID device behind the
    // node, named bus:vendor:product.sequence; the kernel counts the sequence
    // up for every HID device it creates.
    char target[PATH_MAX];
    const std::string link = "/sys/class/hidraw/" + NodeName(path) + "/device";
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    return NodeName(std::string(target, static_cast<std::size_t>(n)));
}

int ProbeReadWriteAccess(const std::string& path) {
    // access() rather than open(): telling whether the node may be opened
    // must not open other people's keyboards.
    return ::access(path.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

HidapiPlatform::HidapiPlatform(QObject* parent) : HidPlatform(parent), settler_(ProbeReadWriteAccess) {
    hidReady_ = hid_init() == 0;
    settler_.OnSettled = [this] { emit DevicesChanged(); };

    udev_ = udev_new();
    if (udev_ != nullptr) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ != nullptr && udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) >= 0 &&
        udev_monitor_enable_receiving(monitor_) >= 0) {
        notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &HidapiPlatform::OnMonitorReadable);
    }
    // Without the udev daemon nothing is ever sent to the monitor.
    monitoring_ = notifier_ != nullptr && ::access("/run/udev/control", F_OK) == 0;
}

HidapiPlatform::~HidapiPlatform() {
    delete notifier_;
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
    if (hidReady_) hid_exit();
}

void HidapiPlatform::OnMonitorReadable() {
    bool any = false;
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        any = true;
        const char* action = udev_device_get_action(device);
        const char* node = udev_device_get_devnode(device);
        if (action != nullptr && node != nullptr) {
            if (std::strcmp(action, "add") == 0) settler_.Arrived(node);
            if (std::strcmp(action, "remove") == 0) Removed(node);
        }
        udev_device_unref(device);
    }
    // Every action counts, "change" too: it is how udev says that it applied
    // the rules again, and who may open a node can change with it.
    if (any) emit DevicesChanged();
}

void HidapiPlatform::Removed(const std::string& node) {
    // The number is free for the next device, which must not be taken for
    // this one, nor wait for access on this one's account.
    settler_.Forget(node);
    ++removals_[node];
}

std::string HidapiPlatform::Instance(const std::string& path) const {
    std::string name = HidInstanceName(path);
    if (!name.empty()) return name;
    // Without sysfs the count of removals seen for the node tells its plugs apart.
    const auto at = removals_.find(path);
    return "removed " + std::to_string(at == removals_.end() ? 0 : at->second);
}

std::vector<HidDeviceInfo> HidapiPlatform::Enumerate() {
    std::vector<HidDeviceInfo> present;
    if (hidReady_) {
        hid_device_info* list = hid_enumerate(0, 0);
        for (hid_device_info* d = list; d != nullptr; d = d->next) {
            if (d->path == nullptr) continue;
            const std::string path = d->path;
            // One entry per top-level collection; the node is one device.
            bool listed = false;
            for (const auto& p : present) listed = listed || p.path == path;
            if (listed || settler_.IsSettling(path)) continue;

            HidDeviceInfo info;
            info.path = path;
            info.vendorId = d->vendor_id;
            info.productId = d->product_id;
            info.productName = Utf8(d->product_string);
            info.serial = Utf8(d->serial_number);
            const ReportLengths lengths = ReportLengthsFromDescriptor(ReadReportDescriptor(path));
            info.inputReportLength = lengths.input;
            info.outputReportLength = lengths.output;
            const bool tr640 = info.vendorId == kTr640VendorId && info.productId == kTr640ProductId;
            if (tr640 && (info.inputReportLength == 0 || info.outputReportLength == 0)) {
                // The unit's reports are the report id and 64 bytes.
                info.inputReportLength = 65;
                info.outputReportLength = 65;
            }
            info.instance = Instance(path);
            info.accessError = ProbeReadWriteAccess(path);
            info.readWriteAccess = info.accessError == 0;
            present.push_back(std::move(info));
        }
        hid_free_enumeration(list);
    }

    if (firstListing_) {
        firstListing_ = false;
        if (!hidReady_)
            notes_.push_back("HID: the HID library could not start; no devices are listed");
        else if (!monitoring_)
            notes_.push_back(present.empty()
                                 ? "HID: udev is not running here: no HID devices listed, plugging is not followed"
                                 : "HID: udev is not running here: plugging is not followed");
    }
    return present;
}

std::unique_ptr<HidConnection> HidapiPlatform::Open(const std::string& path, int* error) {
    errno = 0;
    hid_device* device = hidReady_ ? hid_open_path(path.c_str()) : nullptr;
    if (device == nullptr) {
        int code = errno;
        // hidapi may have spent errno on its own error text: ask the node.
        if (code == 0) code = ProbeReadWriteAccess(path);
        if (error) *error = code != 0 ? code : EIO;
        return nullptr;
    }
    if (error) *error = 0;
    return std::make_unique<HidapiConnection>(device);
}

std::unique_ptr<HidConnection> HidapiPlatform::OpenForReading(const std::string& path, int* error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errno != 0 ? errno : EIO;
        return nullptr;
    }
    if (error) *error = 0;
    return std::make_unique<HidrawReadConnection>(fd);
}

std::string HidapiPlatform::ErrorText(int code) const { return std::strerror(code); }

std::vector<std::string> HidapiPlatform::TakeNotes() { return std::exchange(notes_, {}); }

}  // namespace tr640
