// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

namespace tr640 {

// Stops the text caret blinking once nobody has touched the program for a
// while, and lets it blink again at the next key or mouse event. A caret
// blinking in a field nobody looks at wakes the program twice a second for
// days on a rack PC or a lectern laptop on battery; a caret that stands
// still still shows where typing goes.
class CaretRest : public QObject {
public:
    static constexpr int kRestAfterMs = 10000;

    explicit CaretRest(QObject* parent = nullptr);
    ~CaretRest() override;

    // The rest timer's handler: the caret stops blinking.
    void Rest();
    bool Resting() const { return resting_; }
    QTimer& RestTimer() { return restTimer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Wake();

    QTimer restTimer_;
    int flashTimeMs_ = 0;  // the blink the caret goes back to
    bool resting_ = false;
};

}  // namespace tr640
