// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DemoDeviceWindow.h"

#include "ui/Unit4.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace tr640 {

DemoDeviceWindow::DemoDeviceWindow(Actions actions, QWidget* parent, int language)
    : QWidget(parent, Qt::Window), actions_(std::move(actions)), language_(language) {
    setObjectName(QStringLiteral("DemoDeviceWindow"));
    setWindowTitle(Tr(language_, "虚拟 TR640 (Virtual TR640)"));
    // Closing the demo's helper window must not end the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    StateLabel = new QLabel(this);
    StateLabel->setObjectName(QStringLiteral("StateLabel"));
    PlugBtn = new QPushButton(Tr(language_, "插入 (Plug in)"), this);
    PlugBtn->setObjectName(QStringLiteral("PlugBtn"));
    UnplugBtn = new QPushButton(Tr(language_, "拔出 (Unplug)"), this);
    UnplugBtn->setObjectName(QStringLiteral("UnplugBtn"));
    SilentCheck = new QCheckBox(Tr(language_, "不应答 (Silent)"), this);
    SilentCheck->setObjectName(QStringLiteral("SilentCheck"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(PlugBtn);
    buttons->addWidget(UnplugBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StateLabel);
    layout->addLayout(buttons);
    layout->addWidget(SilentCheck);

    connect(PlugBtn, &QPushButton::clicked, this, [this] {
        if (actions_.plug) actions_.plug();
        SetPlugged(true);
    });
    connect(UnplugBtn, &QPushButton::clicked, this, [this] {
        if (actions_.unplug) actions_.unplug();
        SetPlugged(false);
    });
    connect(SilentCheck, &QCheckBox::toggled, this, [this](bool silent) {
        if (actions_.silence) actions_.silence(silent);
    });
    SetPlugged(false);
}

void DemoDeviceWindow::SetPlugged(bool plugged) {
    StateLabel->setText(Tr(language_, plugged ? "设备已插入 (plugged in)" : "设备已拔出 (unplugged)"));
    PlugBtn->setEnabled(!plugged);
    UnplugBtn->setEnabled(plugged);
}

}  // namespace tr640
