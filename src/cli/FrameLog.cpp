// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/FrameLog.h"

#include <cerrno>
#include <cstring>

namespace tr640 {

namespace {

// Runs this long or longer are written once with their count: the filler
// of a 65-byte report would otherwise be most of every line.
constexpr std::size_t kShortestRun = 4;

std::string HexOf(std::span<const std::uint8_t> report) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(3 * report.size());
    for (std::size_t i = 0; i < report.size();) {
        std::size_t run = 1;
        while (i + run < report.size() && report[i + run] == report[i]) ++run;
        if (!text.empty()) text += ' ';
        text += {kDigits[report[i] >> 4], kDigits[report[i] & 0x0F]};
        if (run >= kShortestRun) {
            text += '*' + std::to_string(run);
            i += run;
        } else {
            ++i;
        }
    }
    return text;
}

}  // namespace

FrameLog::FrameLog() : start_(std::chrono::steady_clock::now()) {}

FrameLog::~FrameLog() {
    if (file_) std::fclose(file_);
}

bool FrameLog::WriteTo(const std::string& path, std::string& why) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        why = std::strerror(errno);
        return false;
    }
    if (file_) std::fclose(file_);
    file_ = file;
    return true;
}

void FrameLog::Sent(std::span<const std::uint8_t> report, int error) { Add(report, FrameDirection::ToUnit, error); }

void FrameLog::Received(std::span<const std::uint8_t> report) { Add(report, FrameDirection::FromUnit, 0); }

void FrameLog::Add(std::span<const std::uint8_t> report, FrameDirection direction, int error) {
    if (!Active()) return;
    // The clock is read under the lock, so that the times rise line by line.
    std::lock_guard lock(mutex_);
    const auto elapsed = std::chrono::steady_clock::now() - start_;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    char time[32];
    std::snprintf(time, sizeof time, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    std::string line = time;
    line += direction == FrameDirection::ToUnit ? "  >  " : "  <  ";
    line += DescribeFrame(decoder_.Decode(report, direction));
    if (error != 0) line += " error=" + std::to_string(error);
    line += "  " + (report.empty() ? std::string("-") : HexOf(report)) + "\n";
    // Flushed line by line: a command cut short by Ctrl-C or a hang leaves
    // every frame up to that point in the file.
    if (file_) {
        std::fputs(line.c_str(), file_);
        std::fflush(file_);
    }
    if (stream_) *stream_ << line << std::flush;
}

}  // namespace tr640
