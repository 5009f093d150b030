// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/TrafficBacklog.h"

#include <algorithm>

namespace tr640 {

TrafficBacklog::TrafficBacklog(std::size_t limit) : limit_(std::max<std::size_t>(limit, 1)) {
    entries_.reserve(limit_);
}

void TrafficBacklog::AddLine(const QString& line) {
    Entry& entry = NextEntry();
    entry.isFrame = false;
    entry.line = line;
    entry.longer.clear();
}

void TrafficBacklog::AddFrame(const TrafficFrame& frame) {
    Entry& entry = NextEntry();
    entry.isFrame = true;
    entry.line.clear();
    entry.way = frame.way;
    entry.length = frame.report.size();
    if (entry.length <= kInPlace) {
        std::copy(frame.report.begin(), frame.report.end(), entry.inPlace.begin());
        entry.longer.clear();
    } else {
        entry.longer.assign(frame.report.begin(), frame.report.end());
    }
}

bool TrafficBacklog::AmendNewest(const QString& was, const QString& now) {
    if (Empty()) return false;
    Entry& newest = Newest();
    if (newest.isFrame || newest.line != was) return false;
    newest.line = now;
    return true;
}

QStringList TrafficBacklog::TakeLines() {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(entries_.size()));
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[(oldest_ + i) % entries_.size()];
        lines.append(entry.isFrame ? QString::fromStdString(TrafficLine({entry.way, entry.Report()})) : entry.line);
    }
    entries_.clear();  // the room stays taken
    oldest_ = 0;
    return lines;
}

// Until `limit_` lines wait, each takes a new place at the end; from then
// on the oldest one's place, whose buffers are used again.
TrafficBacklog::Entry& TrafficBacklog::NextEntry() {
    if (entries_.size() < limit_) return entries_.emplace_back();
    Entry& oldest = entries_[oldest_];
    oldest_ = (oldest_ + 1) % entries_.size();
    return oldest;
}

TrafficBacklog::Entry& TrafficBacklog::Newest() { return entries_[(oldest_ + entries_.size() - 1) % entries_.size()]; }

}  // namespace tr640
