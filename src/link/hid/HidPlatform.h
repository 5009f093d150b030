// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tr640 {

// One HID device as the platform lists it. Strings are UTF-8.
struct HidDeviceInfo {
    // The platform's interface path. On Linux the /dev/hidrawN numbers are
    // handed out again, lowest free first, so a path alone does not tell
    // one plug of a device from the next, nor from another device.
    std::string path;
    // What tells this plug of the device from every other: on Linux the
    // kernel's HID device name behind the node ("0003:0483:6912.000A"),
    // whose sequence number grows on every plug and every USB reset. Empty
    // where the platform has nothing better than the path.
    std::string instance;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string productName;  // empty when the device has none
    std::string serial;       // empty when the device has none
    // String descriptor 0 as text, where the platform can read it. Some
    // devices without a serial number hand this back in its place.
    std::string languageIdString;
    // Report lengths in bytes, report id byte included.
    std::size_t inputReportLength = 0;
    std::size_t outputReportLength = 0;
    // Whether the device could be opened for reading and writing when it was
    // listed. A device without access is still listed: its attributes come
    // from the listing, not from an open handle.
    bool readWriteAccess = false;
    // Why not, when readWriteAccess is false: EACCES when the node is not
    // open to this user; 0 where the platform cannot tell.
    int accessError = 0;
};

// Whether two listings are the same plug of the same device.
inline bool SamePlug(const HidDeviceInfo& a, const HidDeviceInfo& b) {
    return a.path == b.path && a.instance == b.instance;
}

// What one read or write did: bytes moved, or a platform error code (errno
// values on Linux). A read that times out moves 0 bytes without an error.
struct HidIoResult {
    int bytes = 0;
    int error = 0;
    bool Ok() const { return error == 0; }
};

// An open device. Reads and writes on one connection may come from one
// thread at a time; the reader (a thread, or the user-interface thread's
// event loop) and the writes each use their own connection. Closed when
// destroyed.
class HidConnection {
public:
    virtual ~HidConnection() = default;

    // Waits up to timeoutMs for one input report and copies it into buffer.
    virtual HidIoResult Read(std::span<std::uint8_t> buffer, int timeoutMs) = 0;
    // Writes one output report; byte 0 is the report id.
    virtual HidIoResult Write(std::span<const std::uint8_t> report) = 0;
    // Asks a Read in progress on another thread to return at once. May be
    // called from any thread; a platform that cannot cancel leaves the read
    // to its time-out.
    virtual void CancelRead() {}
    // A descriptor that polls readable while a Read with no wait would
    // return something (a report waits, or the device is gone or failing),
    // so that the reports can be read on the user-interface thread's event
    // loop instead of on a thread of their own; -1 where there is none.
    virtual int ReadableDescriptor() const { return -1; }
};

// Access to the HID devices of the machine: the real hidraw one and the
// virtual bus of the tests implement it. Everything but the connections'
// Read is called on the user-interface thread.
class HidPlatform : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~HidPlatform() override = default;

    // The HID devices present now, in the platform's order.
    virtual std::vector<HidDeviceInfo> Enumerate() = 0;

    // Opens a device for reading and writing. Null with *error set on failure.
    virtual std::unique_ptr<HidConnection> Open(const std::string& path, int* error) = 0;
    // Opens the connection the device's reports are read from; the same as
    // Open unless the platform has a better one for reading (one with a
    // readable descriptor).
    virtual std::unique_ptr<HidConnection> OpenForReading(const std::string& path, int* error) {
        return Open(path, error);
    }

    // The platform's text for an error code.
    virtual std::string ErrorText(int code) const = 0;

    // Remarks about the platform worth a line in the traffic log (no device
    // monitor, nothing could be listed); each is handed out once.
    virtual std::vector<std::string> TakeNotes() { return {}; }

signals:
    // The set of device nodes, or who may open them, may have changed.
    // Always emitted on the user-interface thread, never from inside
    // Enumerate or Open. On Linux it comes late: a reader may see its
    // device gone well before this arrives.
    void DevicesChanged();
};

}  // namespace tr640
