// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

namespace tr640::testing {

// The offscreen platform warns on every raise() and size-hint call, which
// the status window makes at each transfer tick. While an instance lives,
// those warnings are dropped; everything else goes to the previous handler.
class QuietOffscreen {
public:
    QuietOffscreen() { previous_ = qInstallMessageHandler(&Filter); }
    ~QuietOffscreen() { qInstallMessageHandler(previous_); }
    QuietOffscreen(const QuietOffscreen&) = delete;
    QuietOffscreen& operator=(const QuietOffscreen&) = delete;

private:
    static void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support"))) return;
        if (previous_) previous_(type, context, message);
    }
    static inline QtMessageHandler previous_ = nullptr;
};

}  // namespace tr640::testing
