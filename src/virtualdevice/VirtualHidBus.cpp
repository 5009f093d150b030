// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualdevice/VirtualHidBus.h"

#include "virtualdevice/VirtualTr640.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tr640 {

namespace {

// The input reports waiting for one open connection, and an eventfd that
// polls readable while a read would return at once (a report waits, or the
// device is gone or failing), as a hidraw node's descriptor does.
class ConnectionQueue {
public:
    ConnectionQueue() = default;
    ~ConnectionQueue() {
        if (readable >= 0) ::close(readable);
    }
    ConnectionQueue(const ConnectionQueue&) = delete;
    ConnectionQueue& operator=(const ConnectionQueue&) = delete;

    // Every reply of the unit passes through here, so the storage of a report
    // that was read or dropped is used again for the next one.
    void Push(std::span<const std::uint8_t> report) {
        // As a hidraw node does, keep a bounded backlog per reader.
        if (reports.size() >= VirtualHidBus::kQueuedReportsPerConnection) TakeOldest();
        spare.assign(report.begin(), report.end());
        reports.push_back(std::move(spare));
    }
    // Copies the oldest report into `buffer` and drops it; the bytes copied.
    std::size_t PopInto(std::span<std::uint8_t> buffer) {
        const std::size_t n = std::min(reports.front().size(), buffer.size());
        std::copy_n(reports.front().begin(), n, buffer.begin());
        TakeOldest();
        return n;
    }

    std::deque<std::vector<std::uint8_t>> reports;
    bool cancel = false;
    bool written = false;  // a connection for writing, which nobody reads
    int readable = -1;  // made when first asked for: most connections only write

private:
    void TakeOldest() {
        spare = std::move(reports.front());
        reports.pop_front();
    }

    std::vector<std::uint8_t> spare;
};

}  // namespace

// One plugged-in device: its identity, what sits behind it, and the state
// its connections share. The mutex guards everything below it.
struct VirtualHidNode {
    HidDeviceInfo info;
    std::shared_ptr<VirtualHidEndpoint> endpoint;

    mutable std::mutex mutex;
    std::condition_variable changed;
    int number = 0;  // N of its path
    bool plugged = true;
    int openError = 0;
    int failOpens = 0;  // opens still to fail with failOpensCode
    int failOpensCode = 0;
    int readError = 0;
    int writeError = 0;
    int openCount = 0;
    int readCalls = 0;
    int blockedReads = 0;
    int writeCount = 0;
    int reportsRead = 0;
    std::vector<std::shared_ptr<ConnectionQueue>> connections;
};

namespace {

// Brings a connection's eventfd in line with what a read would find; with
// the node's mutex held.
void UpdateReadable(const VirtualHidNode& node, ConnectionQueue& queue) {
    if (queue.readable < 0) return;
    const bool ready = !queue.reports.empty() || !node.plugged || node.readError != 0;
    std::uint64_t count = 1;
    if (ready) {
        [[maybe_unused]] const ssize_t n = ::write(queue.readable, &count, sizeof count);
    } else {
        [[maybe_unused]] const ssize_t n = ::read(queue.readable, &count, sizeof count);
    }
}

void UpdateAllReadable(const VirtualHidNode& node) {
    for (const auto& queue : node.connections) UpdateReadable(node, *queue);
}

class VirtualConnection final : public HidConnection {
public:
    VirtualConnection(std::shared_ptr<VirtualHidNode> node, bool pollable)
        : node_(std::move(node)), queue_(std::make_shared<ConnectionQueue>()), pollable_(pollable) {
        std::lock_guard lock(node_->mutex);
        node_->connections.push_back(queue_);
        ++node_->openCount;
    }

    ~VirtualConnection() override {
        std::lock_guard lock(node_->mutex);
        auto& list = node_->connections;
        list.erase(std::remove(list.begin(), list.end(), queue_), list.end());
    }

    HidIoResult Read(std::span<std::uint8_t> buffer, int timeoutMs) override {
        std::unique_lock lock(node_->mutex);
        ++node_->readCalls;
        // A read that may not wait only looks: even a wait that has already
        // timed out costs the thread a trip through the scheduler.
        if (timeoutMs > 0) {
            ++node_->blockedReads;
            node_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
                return !queue_->reports.empty() || !node_->plugged || node_->readError != 0 || queue_->cancel;
            });
            --node_->blockedReads;
        }
        if (queue_->cancel) {
            queue_->cancel = false;
            return {0, 0};
        }
        if (!node_->plugged) return {0, ENODEV};
        if (node_->readError != 0) return {0, node_->readError};
        if (queue_->reports.empty()) return {0, 0};
        const std::size_t n = queue_->PopInto(buffer);
        UpdateReadable(*node_, *queue_);
        ++node_->reportsRead;
        return {static_cast<int>(n), 0};
    }

    HidIoResult Write(std::span<const std::uint8_t> report) override {
        std::shared_ptr<VirtualHidEndpoint> endpoint;
        {
            std::lock_guard lock(node_->mutex);
            if (!node_->plugged) return {0, ENODEV};
            if (node_->writeError != 0) return {0, node_->writeError};
            ++node_->writeCount;
            queue_->written = true;
            endpoint = node_->endpoint;
        }
        // Outside the lock: the endpoint answers through SendInputReport.
        const int error = endpoint ? endpoint->OnOutputReport(report) : 0;
        if (error != 0) return {0, error};
        return {static_cast<int>(report.size()), 0};
    }

    int ReadableDescriptor() const override {
        if (!pollable_) return -1;
        std::lock_guard lock(node_->mutex);
        if (queue_->readable < 0) {
            queue_->readable = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            UpdateReadable(*node_, *queue_);
        }
        return queue_->readable;
    }

    void CancelRead() override {
        {
            std::lock_guard lock(node_->mutex);
            queue_->cancel = true;
        }
        node_->changed.notify_all();
    }

private:
    std::shared_ptr<VirtualHidNode> node_;
    std::shared_ptr<ConnectionQueue> queue_;
    bool pollable_;
};

}  // namespace

// --- VirtualHidEndpoint ---------------------------------------------------

int VirtualHidEndpoint::OnOutputReport(std::span<const std::uint8_t> /*report*/) { return 0; }

void VirtualHidEndpoint::SendInputReport(std::span<const std::uint8_t> report) {
    const std::shared_ptr<VirtualHidNode> node = node_.lock();
    if (!node) return;
    {
        std::lock_guard lock(node->mutex);
        if (!node->plugged) return;
        for (const auto& queue : node->connections) {
            queue->Push(report);
            UpdateReadable(*node, *queue);
        }
    }
    node->changed.notify_all();
}

// --- VirtualHidBus --------------------------------------------------------

VirtualHidBus::VirtualHidBus(QObject* parent) : VirtualHidBus(Behaviour::Kind, parent) {}

VirtualHidBus::VirtualHidBus(Behaviour behaviour, QObject* parent) : HidPlatform(parent), behaviour_(behaviour) {
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, this, &VirtualHidBus::DeliverNotices);
}

VirtualHidBus::~VirtualHidBus() = default;

int VirtualHidBus::NodeNumber() {
    if (behaviour_ == Behaviour::Kind) return nextNumber_++;
    // hidraw hands out the lowest free minor number.
    int number = 0;
    while (std::any_of(nodes_.begin(), nodes_.end(), [&](const auto& n) { return n->number == number; })) ++number;
    return number;
}

std::string VirtualHidBus::Plug(HidDeviceInfo info, std::shared_ptr<VirtualHidEndpoint> endpoint) {
    const int number = NodeNumber();
    info.path = "/virtual/hidraw" + std::to_string(number);
    char instance[32];
    std::snprintf(instance, sizeof instance, "0003:%04X:%04X.%04X", static_cast<unsigned>(info.vendorId),
                  static_cast<unsigned>(info.productId), ++plugSequence_);
    info.instance = instance;
    auto node = std::make_shared<VirtualHidNode>();
    node->number = number;
    node->info = info;
    node->endpoint = std::move(endpoint);
    if (node->endpoint) node->endpoint->node_ = node;
    nodes_.push_back(node);
    if (const auto was = everPlugged_.find(info.path); was != everPlugged_.end()) {
        // An unplugged node reads no more; what it read still counts.
        std::lock_guard lock(was->second->mutex);
        readsOfReplacedNodes_ += was->second->reportsRead;
    }
    everPlugged_[info.path] = node;
    PostNotice();
    return info.path;
}

void VirtualHidBus::Unplug(const std::string& path) {
    const auto node = Find(path);
    if (!node) return;
    // Kind: the notice goes into the event queue before any reader can wake
    // up and report the failed read. LinuxLike: it waits, and the readers
    // see the device gone first, as they do on hidraw.
    PostNotice();
    {
        std::lock_guard lock(node->mutex);
        node->plugged = false;
        UpdateAllReadable(*node);
    }
    node->changed.notify_all();
    nodes_.erase(std::remove(nodes_.begin(), nodes_.end(), node), nodes_.end());
}

void VirtualHidBus::NotifyChange() { PostNotice(); }

void VirtualHidBus::PostNotice() {
    if (behaviour_ == Behaviour::Kind) {
        QMetaObject::invokeMethod(this, [this] { emit DevicesChanged(); }, Qt::QueuedConnection);
        return;
    }
    ++pendingNotices_;
    if (noticeDelayMs_ >= 0 && !noticeTimer_.isActive()) noticeTimer_.start(noticeDelayMs_);
}

void VirtualHidBus::DeliverNotices() {
    noticeTimer_.stop();
    if (pendingNotices_ == 0) return;
    pendingNotices_ = 0;
    emit DevicesChanged();
}

std::shared_ptr<VirtualHidNode> VirtualHidBus::Find(const std::string& path) const {
    for (const auto& node : nodes_)
        if (node->info.path == path) return node;
    return nullptr;
}

void VirtualHidBus::SetOpenError(const std::string& path, int code) {
    if (const auto node = Find(path)) {
        std::lock_guard lock(node->mutex);
        node->openError = code;
    }
}

void VirtualHidBus::ChangeAccess(const std::string& path, int openError) {
    SetOpenError(path, openError);
    PostNotice();
}

void VirtualHidBus::FailNextOpens(const std::string& path, int code, int count) {
    if (const auto node = Find(path)) {
        std::lock_guard lock(node->mutex);
        node->failOpens = count;
        node->failOpensCode = code;
    }
}

void VirtualHidBus::SetReadError(const std::string& path, int code) {
    if (const auto node = Find(path)) {
        {
            std::lock_guard lock(node->mutex);
            node->readError = code;
            UpdateAllReadable(*node);
        }
        node->changed.notify_all();
    }
}

void VirtualHidBus::SetWriteError(const std::string& path, int code) {
    if (const auto node = Find(path)) {
        std::lock_guard lock(node->mutex);
        node->writeError = code;
    }
}

namespace {
template <typename Field>
int Counter(const std::map<std::string, std::shared_ptr<VirtualHidNode>>& nodes, const std::string& path, Field field) {
    const auto at = nodes.find(path);
    if (at == nodes.end()) return 0;
    std::lock_guard lock(at->second->mutex);
    return field(*at->second);
}
}  // namespace

int VirtualHidBus::OpenCount(const std::string& path) const {
    return Counter(everPlugged_, path, [](const VirtualHidNode& n) { return n.openCount; });
}
int VirtualHidBus::OpenConnections(const std::string& path) const {
    return Counter(everPlugged_, path, [](const VirtualHidNode& n) { return static_cast<int>(n.connections.size()); });
}
int VirtualHidBus::ReadCalls(const std::string& path) const {
    return Counter(everPlugged_, path, [](const VirtualHidNode& n) { return n.readCalls; });
}
int VirtualHidBus::BlockedReads(const std::string& path) const {
    return Counter(everPlugged_, path, [](const VirtualHidNode& n) { return n.blockedReads; });
}
int VirtualHidBus::WriteCount(const std::string& path) const {
    return Counter(everPlugged_, path, [](const VirtualHidNode& n) { return n.writeCount; });
}

int VirtualHidBus::ReportsRead() const {
    int read = readsOfReplacedNodes_;
    for (const auto& [path, node] : everPlugged_) {
        std::lock_guard lock(node->mutex);
        read += node->reportsRead;
    }
    return read;
}

int VirtualHidBus::ReportsWaiting() const {
    int waiting = 0;
    for (const auto& node : nodes_) {
        std::lock_guard lock(node->mutex);
        for (const auto& queue : node->connections)
            if (!queue->written) waiting += static_cast<int>(queue->reports.size());
    }
    return waiting;
}

std::vector<HidDeviceInfo> VirtualHidBus::Enumerate() {
    std::vector<HidDeviceInfo> present;
    for (const auto& node : nodes_) {
        HidDeviceInfo info = node->info;
        std::lock_guard lock(node->mutex);
        info.readWriteAccess = node->openError == 0;
        info.accessError = node->openError;
        present.push_back(std::move(info));
    }
    return present;
}

std::unique_ptr<HidConnection> VirtualHidBus::Open(const std::string& path, int* error) {
    const auto node = Find(path);
    int code = node ? 0 : ENOENT;
    if (node) {
        std::lock_guard lock(node->mutex);
        code = node->openError;
        if (code == 0 && node->failOpens > 0) {
            --node->failOpens;
            code = node->failOpensCode;
        }
    }
    if (code != 0) {
        if (error) *error = code;
        return nullptr;
    }
    if (error) *error = 0;
    return std::make_unique<VirtualConnection>(node, readableDescriptors_);
}

std::string VirtualHidBus::ErrorText(int code) const { return std::strerror(code); }

std::vector<std::string> VirtualHidBus::TakeNotes() { return std::exchange(notes_, {}); }

// --- Devices ----------------------------------------------------------------

HidDeviceInfo VirtualTr640Info(std::string serial) {
    HidDeviceInfo info;
    info.vendorId = 0x0483;
    info.productId = 0x6912;
    info.productName = "TR640";
    info.serial = std::move(serial);
    info.inputReportLength = 65;
    info.outputReportLength = 65;
    info.readWriteAccess = true;
    return info;
}

HidDeviceInfo VirtualKeyboardInfo() {
    HidDeviceInfo info;
    info.vendorId = 0x1209;
    info.productId = 0x0001;
    info.productName = "Virtual Keyboard";
    info.inputReportLength = 9;
    info.outputReportLength = 2;
    info.readWriteAccess = true;
    return info;
}

VirtualTr640Endpoint::VirtualTr640Endpoint(VirtualTr640& device, std::size_t inputReportLength)
    : device_(device), inputLength_(inputReportLength) {
    device_.SetReplySink([this](std::span<const std::uint8_t> reply) {
        if (reply.size() == inputLength_) return SendInputReport(reply);
        padded_.assign(reply.begin(), reply.end());
        padded_.resize(inputLength_, 0);
        SendInputReport(padded_);
    });
}

VirtualTr640Endpoint::~VirtualTr640Endpoint() { device_.SetReplySink(nullptr); }

int VirtualTr640Endpoint::OnOutputReport(std::span<const std::uint8_t> report) {
    device_.ReceiveOutputReport(report);
    return 0;
}

}  // namespace tr640
