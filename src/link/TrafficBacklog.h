// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/hid/HidLinkHandlers.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tr640 {

// The traffic log's lines while nobody sees them: the newest `limit` lines,
// oldest first. A frame waits as its bytes and is worded only when the lines
// are taken, since an idle link passes two frames every 80 ms for as long as
// it runs and the log is seldom ever looked at. Once `limit` lines wait, the
// oldest place is used again, so the steady traffic allocates nothing.
class TrafficBacklog {
public:
    explicit TrafficBacklog(std::size_t limit) : limit_(std::max<std::size_t>(limit, 1)) {}

    void AddLine(const QString& line);
    void AddFrame(const TrafficFrame& frame);
    // Replaces the newest line with `now` if it is a line (not a frame) that
    // reads `was`; false, and nothing changed, otherwise.
    bool AmendNewest(const QString& was, const QString& now);

    bool Empty() const { return entries_.empty(); }
    // Every line waiting, oldest first, worded; none wait afterwards.
    QStringList TakeLines();

private:
    struct Entry {
        bool isFrame = false;
        QString line;  // a line's text
        TrafficFrame::Way way = TrafficFrame::Way::Written;
        std::vector<std::uint8_t> report;  // a frame's bytes
    };

    Entry& NextEntry();
    Entry& Newest();

    std::size_t limit_;
    std::vector<Entry> entries_;
    std::size_t oldest_ = 0;  // where the ring starts once it is full
};

}  // namespace tr640
