// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/AccessSettler.h"

#include <cerrno>

namespace tr640 {

namespace {
bool Refused(int error) { return error == EACCES || error == EPERM; }
}  // namespace

AccessSettler::AccessSettler(Probe probe, QObject* parent) : QObject(parent), probe_(std::move(probe)) {
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &AccessSettler::RetryTick);
}

void AccessSettler::Arrived(const std::string& path) {
    if (!Refused(probe_(path))) return;
    tries_[path] = kTries;
    if (!timer_.isActive()) timer_.start();
}

void AccessSettler::Forget(const std::string& path) {
    tries_.erase(path);
    if (tries_.empty()) timer_.stop();
}

void AccessSettler::RetryTick() {
    bool settled = false;
    for (auto it = tries_.begin(); it != tries_.end();) {
        // Anything but a refusal ends the wait: access granted, or the node
        // is gone again (the scan sorts that out).
        if (!Refused(probe_(it->first)) || --it->second <= 0) {
            it = tries_.erase(it);
            settled = true;
        } else {
            ++it;
        }
    }
    if (tries_.empty()) timer_.stop();
    if (settled && OnSettled) OnSettled();
}

}  // namespace tr640
