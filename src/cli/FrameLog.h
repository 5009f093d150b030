// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/FrameDecode.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <span>
#include <string>

namespace tr640 {

// tr640ctl's traffic log (--log FILE, and stderr with -v): one line for
// every report exchanged with the unit, as it happens. Four fields, each
// separated from the next by two spaces (no field holds two spaces):
//
//   TIME  DIR  FRAME  HEX
//   0.013  >  write addr=0x0134 name=mic1.volume value=80  01 50 ... 00*35
//
// TIME is seconds since the log was made (the command's start), with
// milliseconds. DIR is ">" for a report to the unit, "<" for one from it.
// FRAME is the decoded frame (DescribeFrame); a write the platform failed
// adds "error=N", its error code. HEX is the report as it went over the
// wire, scrambling included, report id first, in upper-case hexadecimal;
// a run of four or more equal bytes is written once as "XX*N".
//
// Reports may come from a reader thread while the writes come from the
// event loop: every line is decoded and written under one lock.
class FrameLog {
public:
    FrameLog();
    ~FrameLog();
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    // Writes the lines to `path` too, replacing what it held. False, with
    // the system's reason, when it cannot be opened for writing.
    bool WriteTo(const std::string& path, std::string& why);
    // Writes the lines to `stream` too (stderr for -v).
    void AlsoTo(std::ostream& stream) { stream_ = &stream; }
    // Whether the lines go anywhere.
    bool Active() const { return file_ || stream_; }

    // A report written to the unit; `error` is the platform's code, 0 when
    // the write went through.
    void Sent(std::span<const std::uint8_t> report, int error);
    // A report read from the unit.
    void Received(std::span<const std::uint8_t> report);

private:
    void Add(std::span<const std::uint8_t> report, FrameDirection direction, int error);

    std::mutex mutex_;
    FrameDecoder decoder_;
    std::FILE* file_ = nullptr;
    std::ostream* stream_ = nullptr;
    const std::chrono::steady_clock::time_point start_;
};

}  // namespace tr640
