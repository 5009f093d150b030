// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One program drives a unit at a time. Two programs on the same unit would
// interleave their frames and each read the other's replies as its own, so
// the windows, tr640ctl and the bridge each take this lock before they open
// a unit: an flock on a file named by the unit's serial, holding the
// program's name and process id for the one that finds it taken.

#include <string>
#include <string_view>

namespace tr640 {

class UnitLock {
public:
    enum class Outcome { Taken, HeldByOther, Failed };
    struct Holder {
        std::string program;
        long pid = 0;
    };

    // The lock files live in `directory`; DefaultDirectory() for programs.
    explicit UnitLock(std::string directory = DefaultDirectory());
    ~UnitLock();
    UnitLock(const UnitLock&) = delete;
    UnitLock& operator=(const UnitLock&) = delete;

    // /run/lock, where every program of the host looks; a per-user runtime
    // directory where /run/lock cannot be written.
    static std::string DefaultDirectory();
    // What a unit is locked by: its serial, or its path when it has none.
    static std::string KeyOf(std::string_view serial, std::string_view path) {
        return std::string(serial.empty() ? path : serial);
    }

    // Takes the lock of the unit `key` (its serial, or its path when it has
    // none) for `program`. HeldByOther fills Holder(); Failed fills Error().
    Outcome Take(std::string_view key, std::string_view program);
    void Release();
    bool Held() const { return fd_ >= 0; }

    const Holder& HeldBy() const { return holder_; }
    const std::string& Error() const { return error_; }
    // "held by tr640ctl (process 1234); end that program to free the unit"
    std::string HeldByText() const;
    // The file of a key, for messages.
    std::string PathOf(std::string_view key) const;

private:
    std::string directory_;
    int fd_ = -1;
    Holder holder_;
    std::string error_;
};

}  // namespace tr640
