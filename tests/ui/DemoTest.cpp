// SPDX-License-Identifier: GPL-3.0-or-later
// The demo: the program over a virtual TR640 whose replies come through the
// event queue, and the small window that plugs it in and out.

#include "support/QuietOffscreen.h"
#include "support/ScriptedDialogs.h"
#include "ui/DemoDeviceWindow.h"
#include "ui/VirtualRig.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace tr640::testing {
namespace {

class DemoTest : public ::testing::Test {
protected:
    DemoTest() { rig.program().Start(); }

    // Hands over the replies the rig has queued for the event loop, and
    // nothing else that waits there (no timer runs).
    void DeliverQueued() { QCoreApplication::sendPostedEvents(&rig.program().linkWindow(), QEvent::MetaCall); }

    QuietOffscreen quiet;
    VirtualRig rig{std::make_unique<ScriptedDialogs>()};
};

TEST_F(DemoTest, APluggedDeviceConnectsWithRepliesFromTheEventQueue) {
    TForm9& link = rig.program().linkWindow();
    rig.Plug();
    EXPECT_TRUE(rig.Plugged());
    EXPECT_GT(rig.transport().WaitingReplies(), 0u);  // not handed over inside the write
    DeliverQueued();
    EXPECT_EQ(rig.transport().WaitingReplies(), 0u);
    link.Timer1Timer();
    for (int n = 0; link.Timer2->isActive() && n < 500; ++n) {
        DeliverQueued();
        link.Timer2Timer();
    }
    DeliverQueued();
    EXPECT_EQ(rig.program().link().Vars().linkState, kLinkedIdle);
    EXPECT_EQ(rig.program().mainWindow().Mic1FreEdit3->text(), "1000.0Hz");
}

TEST_F(DemoTest, TheDeviceWindowPlugsUnplugsAndSilences) {
    DemoDeviceWindow window({[this] { rig.Plug(); }, [this] { rig.Unplug(); },
                             [this](bool silent) { rig.Silence(silent); }});
    EXPECT_TRUE(window.PlugBtn->isEnabled());
    EXPECT_FALSE(window.UnplugBtn->isEnabled());

    QTest::mouseClick(window.PlugBtn, Qt::LeftButton);
    EXPECT_TRUE(rig.Plugged());
    EXPECT_EQ(rig.program().link().Vars().linkState, kLinkedBusy);
    EXPECT_TRUE(window.UnplugBtn->isEnabled());

    QTest::mouseClick(window.SilentCheck, Qt::LeftButton);
    const auto ignored = rig.device().Stats().framesIgnored;
    rig.program().linkWindow().Timer1Timer();  // offers the key again
    EXPECT_EQ(rig.device().Stats().framesIgnored, ignored + 1);

    QTest::mouseClick(window.UnplugBtn, Qt::LeftButton);
    EXPECT_FALSE(rig.Plugged());
    EXPECT_EQ(rig.program().link().Vars().linkState, kNotLinked);
    EXPECT_EQ(rig.program().mainWindow().LinkLabel->palette().color(QPalette::Window), QColor(160, 160, 164));
    EXPECT_TRUE(window.PlugBtn->isEnabled());
    EXPECT_EQ(window.StateLabel->text(), "设备已拔出 (unplugged)");
}

}  // namespace
}  // namespace tr640::testing
