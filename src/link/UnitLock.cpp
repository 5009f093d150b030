// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/UnitLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tr640 {

namespace {

std::string FileName(std::string_view key) {
    std::string name = "tr640-";
    for (const char c : key) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        name += plain ? c : '_';
    }
    return name + ".lock";
}

bool Writable(const std::string& directory) { return ::access(directory.c_str(), W_OK | X_OK) == 0; }

UnitLock::Holder ReadHolder(int fd) {
    char text[256] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    UnitLock::Holder holder;
    if (got <= 0) return holder;
    const std::string line(text, static_cast<std::size_t>(got));
    const std::size_t space = line.rfind(' ');
    if (space == std::string::npos) return holder;
    holder.program = line.substr(0, space);
    holder.pid = std::strtol(line.c_str() + space + 1, nullptr, 10);
    return holder;
}

}  // namespace

UnitLock::UnitLock(std::string directory) : directory_(std::move(directory)) {}

UnitLock::~UnitLock() { Release(); }

std::string UnitLock::DefaultDirectory() {
    if (Writable("/run/lock")) return "/run/lock";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime && Writable(runtime)) return runtime;
    const std::string own = "/tmp/tr640-" + std::to_string(::getuid());
    ::mkdir(own.c_str(), 0700);
    return own;
}

std::string UnitLock::PathOf(std::string_view key) const { return directory_ + "/" + FileName(key); }

UnitLock::Outcome UnitLock::Take(std::string_view key, std::string_view program) {
    Release();
    const std::string path = PathOf(key);
    // Readable and writable for every user: whoever takes the unit next
    // writes its name over the last one's.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error_ = "cannot open the lock file " + path + ": " + std::strerror(errno);
        return Outcome::Failed;
    }
    ::fchmod(fd, 0666);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        holder_ = ReadHolder(fd);
        ::close(fd);
        if (why == EWOULDBLOCK) return Outcome::HeldByOther;
        error_ = "cannot lock " + path + ": " + std::strerror(why);
        return Outcome::Failed;
    }
    const std::string line = std::string(program) + " " + std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, line.data(), line.size(), 0) != static_cast<ssize_t>(line.size())) {
        error_ = "cannot write the lock file " + path + ": " + std::strerror(errno);
        ::close(fd);
        return Outcome::Failed;
    }
    fd_ = fd;
    return Outcome::Taken;
}

void UnitLock::Release() {
    if (fd_ < 0) return;
    // The file stays: removing it would let a third program lock a new file
    // of the same name while a second one still waits on the old.
    if (::ftruncate(fd_, 0) != 0) {
        // Nothing to do: the lock goes with the descriptor all the same.
    }
    ::close(fd_);
    fd_ = -1;
}

std::string UnitLock::HeldByText() const {
    if (holder_.program.empty()) return "held by another program; end it to free the unit";
    return "held by " + holder_.program + " (process " + std::to_string(holder_.pid) +
           "); end that program to free the unit";
}

}  // namespace tr640
