// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <string>

namespace tr640 {

// Right after a device node appears, the rules that give the logged-in user
// access to it may not have run yet, so opening it is refused for a moment.
// A node that is refused on arrival is held back from the listing and tried
// again every 200 ms, five times at most, driven by a timer so the
// user-interface thread never blocks; once it opens (or the tries run out,
// and it is listed without access) OnSettled asks for a fresh scan.
class AccessSettler : public QObject {
    Q_OBJECT

public:
    static constexpr int kTries = 5;
    static constexpr int kIntervalMs = 200;

    // Probe: 0 when the node can be opened for reading and writing, else the
    // error code.
    using Probe = std::function<int(const std::string& path)>;

    explicit AccessSettler(Probe probe, QObject* parent = nullptr);

    // A node the device monitor has just reported as added.
    void Arrived(const std::string& path);
    // A node the device monitor has reported as removed: no longer waited for.
    void Forget(const std::string& path);
    // Whether the node is still being waited for.
    bool IsSettling(const std::string& path) const { return tries_.count(path) != 0; }
    bool Idle() const { return tries_.empty(); }

    // The retry timer's tick, also called directly by tests.
    void RetryTick();
    QTimer& Timer() { return timer_; }

    std::function<void()> OnSettled;

private:
    Probe probe_;
    std::map<std::string, int> tries_;
    QTimer timer_;
};

}  // namespace tr640
