// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/Frames.h"
#include "link/hid/HidLinkHandlers.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tr640 {

// The traffic log's lines while nobody sees them: the newest `limit` lines,
// oldest first. A frame waits as its bytes and is worded only when the lines
// are taken, since an idle link passes two frames every 80 ms for as long as
// it runs and the log is seldom ever looked at. Room for `limit` lines is
// taken at once, and once it is full the oldest line's place is used again:
// the unit's traffic allocates nothing.
class TrafficBacklog {
public:
    explicit TrafficBacklog(std::size_t limit);

    void AddLine(const QString& line);
    void AddFrame(const TrafficFrame& frame);
    // Replaces the newest line with `now` if it is a line (not a frame) that
    // reads `was`; false, and nothing changed, otherwise.
    bool AmendNewest(const QString& was, const QString& now);

    bool Empty() const { return entries_.empty(); }
    // Every line waiting, oldest first, worded; none wait afterwards.
    QStringList TakeLines();

private:
    // A frame's bytes: a TR640's report fits in place, so that no frame of
    // the unit costs an allocation; a longer one of another device goes to
    // the heap.
    static constexpr std::size_t kInPlace = kFrameBufferSize;
    struct Entry {
        bool isFrame = false;
        QString line;  // a line's text
        TrafficFrame::Way way = TrafficFrame::Way::Written;
        std::size_t length = 0;
        std::array<std::uint8_t, kInPlace> inPlace{};
        std::vector<std::uint8_t> longer;
        std::span<const std::uint8_t> Report() const {
            return length <= kInPlace ? std::span<const std::uint8_t>(inPlace).first(length) : longer;
        }
    };

    Entry& NextEntry();
    Entry& Newest();

    std::size_t limit_;
    std::vector<Entry> entries_;
    std::size_t oldest_ = 0;  // where the ring starts once it is full
};

}  // namespace tr640
