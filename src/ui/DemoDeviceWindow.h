// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/Language.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tr640 {

// The demo's own small window: plugs the virtual TR640 in, pulls it out,
// and makes it fall silent, so that connecting, loss of the device and the
// link's time-outs can be tried without hardware.
class DemoDeviceWindow : public QWidget {
    Q_OBJECT

public:
    struct Actions {
        std::function<void()> plug;
        std::function<void()> unplug;
        std::function<void(bool)> silence;
    };

    // `language` is the program's, for the window's texts.
    explicit DemoDeviceWindow(Actions actions, QWidget* parent = nullptr, int language = kLanguageChinese);

    // Shows whether the virtual device is plugged in.
    void SetPlugged(bool plugged);

    QPushButton* PlugBtn;
    QPushButton* UnplugBtn;
    QCheckBox* SilentCheck;
    QLabel* StateLabel;

private:
    Actions actions_;
    const int language_;
};

}  // namespace tr640
