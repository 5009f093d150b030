// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/UnitLock.h"
#include "link/Unit9.h"
#include "support/QuietOffscreen.h"
#include "support/ScriptedDialogs.h"
#include "ui/LinkLabelPort.h"
#include "ui/Unit4.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>

#include <unistd.h>

namespace tr640::testing {
namespace {

// The link window over the virtual HID bus: its own device controller, the
// real reader thread and the real timers, in an event loop bounded in time.
class LinkWindowHidTest : public ::testing::Test {
protected:
    // The log as the window shows it.
    bool LogHas(const QString& prefix) {
        form.show();
        for (int i = 0; i < form.HistoryListBox->count(); ++i)
            if (form.HistoryListBox->item(i)->text().startsWith(prefix)) return true;
        return false;
    }

    QuietOffscreen quiet;
    ParamStore store;
    int language = kLanguageChinese;
    VirtualTr640 device;
    VirtualHidBus bus;
    ScriptedDialogs dialogs;
    QWidget mainWindow;
    QLabel* mainLinkLabel = new QLabel("离线模式", &mainWindow);
    TForm4 status{&mainWindow};
    LinkLabelPort mainPort{*mainLinkLabel, language, dialogs, [this] { store.CopyDeviceToShown(); }, [] {}};
    std::string path = bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(device));
    TForm9 form{store, language, bus, status, mainPort};
};

TEST_F(LinkWindowHidTest, PresentDeviceIsFoundListedAndLinkedThroughTheWindowsOwnController) {
    ASSERT_NE(form.session().controller(), nullptr);
    // The first scan runs once the event loop is reached.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.DevListBox->count() == 1; }, 5000));
    EXPECT_TRUE(form.DevListBox->item(0)->text().contains("VID=0483 PID=6912"));
    EXPECT_TRUE(LogHas("Arrival of "));
    EXPECT_TRUE(form.Timer1->isActive());

    ASSERT_TRUE(QTest::qWaitFor([&] { return form.link().Vars().linkState == kLinkedIdle; }, 10000))
        << "link state " << form.link().Vars().linkState;
    EXPECT_TRUE(form.HoldTimer->isActive());
    EXPECT_EQ(mainLinkLabel->text(), "设备已连接");
    EXPECT_EQ(store.Shown(0x0108), device.Value(0x0108));
    EXPECT_TRUE(LogHas("W 01  "));
    EXPECT_TRUE(LogHas("R 01  "));

    form.link().SendParameter(0x010E, 175);
    ASSERT_TRUE(QTest::qWaitFor([&] { return device.Value(0x010E) == 175; }, 5000))
        << "the unit holds " << device.Value(0x010E);

    bus.Unplug(path);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.link().Vars().linkState == kNotLinked; }, 5000))
        << "link state " << form.link().Vars().linkState;
    EXPECT_TRUE(LogHas("Removal of "));
    EXPECT_EQ(form.DevListBox->count(), 0);
    EXPECT_FALSE(form.HoldTimer->isActive());
    EXPECT_TRUE(dialogs.calls.empty());
}

// A unit another program holds is left to it, said once, and linked once
// it is free.
TEST_F(LinkWindowHidTest, AUnitAnotherProgramHoldsIsLeftToItAndLinkedOnceFree) {
    QTemporaryDir locks;
    UnitLock bridge(locks.path().toStdString());
    const std::string key = UnitLock::KeyOf({}, path);
    ASSERT_EQ(bridge.Take(key, "tr640-bridge"), UnitLock::Outcome::Taken);
    form.session().LockUnitsAs("tr640", locks.path().toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.calls.size() == 1; }, 5000));
    EXPECT_TRUE(dialogs.calls[0].text.contains(QStringLiteral("tr640-bridge（进程 %1）").arg(::getpid())))
        << dialogs.calls[0].text.toStdString();
    EXPECT_EQ(mainLinkLabel->text(), "设备未连接");
    EXPECT_EQ(device.Stats().framesReceived, 0u);

    form.session().LockRetryTimer();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.calls.size(), 1u) << "held still: nothing more said";
    bridge.Release();
    form.session().LockRetryTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.link().Vars().linkState == kLinkedIdle; }, 10000));
    UnitLock late(locks.path().toStdString());
    EXPECT_EQ(late.Take(key, "tr640ctl"), UnitLock::Outcome::HeldByOther) << "the windows hold it now";
}

// The link window over a bus that behaves as hidraw and udev do, with a
// unit whose node is not open to this user.
class LinkWindowDeniedTest : public ::testing::Test {
protected:
    std::string PlugDeniedUnit() {
        const std::string path = bus.Plug(VirtualTr640Info(), std::make_shared<VirtualTr640Endpoint>(device));
        bus.SetOpenError(path, EACCES);
        return path;
    }
    void Settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    QuietOffscreen quiet;
    ParamStore store;
    int language = kLanguageChinese;
    VirtualTr640 device;
    VirtualHidBus bus{VirtualHidBus::Behaviour::LinuxLike};
    ScriptedDialogs dialogs;
    QWidget mainWindow;
    QLabel* mainLinkLabel = new QLabel("离线模式", &mainWindow);
    TForm4 status{&mainWindow};
    LinkLabelPort mainPort{*mainLinkLabel, language, dialogs, [this] { store.CopyDeviceToShown(); }, [] {}};
    std::string path = PlugDeniedUnit();
    TForm9 form{store, language, bus, status, mainPort};
};

TEST_F(LinkWindowDeniedTest, TheUserIsToldOncePerPlugInThatTheUnitMayNotBeOpened) {
    // The QTRY macros report to Qt Test, not to this test: wait by hand.
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.calls.size() == 1; }, 5000));
    EXPECT_EQ(dialogs.calls[0].caption, "提示");
    EXPECT_TRUE(dialogs.calls[0].text.startsWith("已找到TR640设备，但没有打开它的权限。"));
    EXPECT_TRUE(dialogs.calls[0].text.contains("70-tr640.rules"));
    EXPECT_EQ(form.link().Vars().linkState, kLinkedBusy);

    // Another device rebuilds the list: the same plug, nothing more said.
    bus.Plug(VirtualKeyboardInfo(), nullptr);
    bus.DeliverNotices();
    Settle();
    ASSERT_EQ(form.DevListBox->count(), 2);
    EXPECT_EQ(dialogs.calls.size(), 1u);

    language = kLanguageEnglish;
    bus.Unplug(path);
    path = PlugDeniedUnit();
    bus.DeliverNotices();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.calls.size() == 2; }, 5000));
    EXPECT_EQ(dialogs.calls[1].caption, "Confirm");
    EXPECT_TRUE(dialogs.calls[1].text.startsWith("The TR640 was found, but you may not open it."));
}

}  // namespace
}  // namespace tr640::testing
