// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Frames.h"
#include "link/QtLinkTimer.h"
#include "link/Unit9.h"
#include "model/ParamAddress.h"
#include "support/QuietOffscreen.h"
#include "support/ScriptedDialogs.h"
#include "ui/LinkLabelPort.h"
#include "ui/Unit4.h"
#include "virtualdevice/VirtualTransport.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTimerEvent>

#include <optional>

namespace tr640::testing {
namespace {

// The link window with its real QTimers, wired to a virtual TR640. No event
// loop runs: the tests call the tick handlers of the timers that are active,
// and hand the device's replies over between ticks.
class LinkWindowTest : public ::testing::Test {
protected:
    LinkWindowTest() {
        mainLinkLabel->setObjectName("LinkLabel");
        transport.SetReplyHandler([this](const std::vector<std::uint8_t>& r) { form.OnInputReport(r); });
    }

    void Pump() {
        device.Tick();
        transport.DeliverReplies();
    }
    void Tick(QTimer* timer, void (TForm9::*handler)()) {
        Pump();
        if (timer->isActive()) (form.*handler)();
        Pump();
    }
    void TickConnect() { Tick(form.Timer1, &TForm9::Timer1Timer); }
    void TickTransfer() { Tick(form.Timer2, &TForm9::Timer2Timer); }
    void TickHold() { Tick(form.HoldTimer, &TForm9::HoldTimerTimer); }

    // Ticks until a box is up or the bound is reached; the number of ticks.
    int TickUntilBox(QTimer* timer, void (TForm9::*handler)(), int bound) {
        int n = 0;
        while (dialogs.calls.empty() && n < bound) {
            Tick(timer, handler);
            ++n;
        }
        return n;
    }

    void Connect() {
        form.link().DevicePresent();
        TickConnect();
        for (int n = 0; form.Timer2->isActive() && n < 100; ++n) TickTransfer();
        ASSERT_EQ(form.session().Linked(), true);
    }

    bool AnyLinkTimerActive() const {
        return form.Timer1->isActive() || form.Timer2->isActive() || form.HoldTimer->isActive();
    }
    QColor MainLabelColour() const { return mainLinkLabel->palette().color(QPalette::Window); }

    // What the windows look like at one moment: taken while a box is open.
    struct Snapshot {
        bool timer1, timer2, hold, statusVisible;
        QString mainCaption, statusCaption;
        QColor mainColour;
        int linkState, bar;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot Take() const {
        return {form.Timer1->isActive(),
                form.Timer2->isActive(),
                form.HoldTimer->isActive(),
                status.isVisible(),
                mainLinkLabel->text(),
                status.LinkLabel->text(),
                MainLabelColour(),
                form.link().Vars().linkState,
                status.RzProgressStatus1->value()};
    }
    // Takes a snapshot whenever a box opens; the last one is kept.
    std::optional<Snapshot> whileBoxOpen;
    void SnapshotWhileBoxOpen() {
        dialogs.whileOpen = [this](const ScriptedDialogs::Call&) { whileBoxOpen = Take(); };
    }

    QuietOffscreen quiet;
    ParamStore store;
    int language = kLanguageChinese;
    VirtualTr640 device;
    VirtualTransport transport{device};
    ScriptedDialogs dialogs;
    QWidget mainWindow;
    QLabel* mainLinkLabel = new QLabel("离线模式", &mainWindow);
    TForm4 status{&mainWindow};
    int refreshes = 0;
    int firstBandSelections = 0;
    LinkLabelPort mainPort{*mainLinkLabel, language, dialogs,
                           [this] {
                               ++refreshes;
                               store.CopyDeviceToShown();
                           },
                           [this] { ++firstBandSelections; }};
    TForm9 form{store, language, transport, status, mainPort};
};

// --- The window itself -----------------------------------------------------------

TEST_F(LinkWindowTest, CreatedHiddenWithItsTimersStopped) {
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), "系统");
    EXPECT_FALSE(AnyLinkTimerActive());
    EXPECT_EQ(form.findChild<QTimer*>("HoldTimer"), form.HoldTimer);
}

TEST_F(LinkWindowTest, ClosingOnlyHidesItAndTheLinkGoesOn) {
    Connect();
    form.show();
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.HoldTimer->isActive());
    EXPECT_EQ(form.session().Linked(), true);
    TickHold();
    TickHold();
    EXPECT_EQ(form.session().Linked(), true);
}

TEST_F(LinkWindowTest, LinkButtonWhileNoDeviceRunsTheConnectTimerButSendsNothing) {
    form.LinkBtn->click();
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_TRUE(transport.Written().empty());
    form.Timer1Timer();
    EXPECT_TRUE(transport.Written().empty());
}

TEST_F(LinkWindowTest, TrafficLogKeepsTheNewestLinesSelected) {
    for (int i = 0; i < 6000; ++i) form.LogTraffic(QString("W 01  %1").arg(i));
    EXPECT_EQ(form.HistoryListBox->count(), 0) << "a hidden log waits";
    form.show();
    form.LogTraffic(QStringLiteral("W 01  6000"));
    ASSERT_EQ(form.HistoryListBox->count(), TForm9::kHistoryLimit);
    EXPECT_EQ(form.HistoryListBox->item(0)->text(), "W 01  1001");
    EXPECT_EQ(form.HistoryListBox->currentRow(), TForm9::kHistoryLimit - 1);
    EXPECT_EQ(form.HistoryListBox->currentItem()->text(), "W 01  6000");
    EXPECT_TRUE(form.HistoryListBox->currentItem()->isSelected());
}

// While hidden a frame waits as its bytes: shown, it reads as its line, and
// an error line that waits still takes the count of its run.
TEST_F(LinkWindowTest, FramesThatWaitedShowAsTheirLines) {
    const std::vector<std::uint8_t> written{0x01, 0x50, 0x0A};
    const std::vector<std::uint8_t> read{0x01, 0xFF};
    form.LogFrame({TrafficFrame::Way::Written, written});
    form.LogTraffic(QStringLiteral("READ ERROR: x (5)"));
    EXPECT_TRUE(form.AmendLastTraffic(QStringLiteral("READ ERROR: x (5)"), QStringLiteral("READ ERROR: x (5) (x2)")));
    form.LogFrame({TrafficFrame::Way::Read, read});
    EXPECT_FALSE(form.AmendLastTraffic(QStringLiteral("R 01  FF L:01 "), QStringLiteral("?")));
    EXPECT_EQ(form.HistoryListBox->count(), 0);
    form.show();
    ASSERT_EQ(form.HistoryListBox->count(), 3);
    EXPECT_EQ(form.HistoryListBox->item(0)->text(), "W 01  50 0A ");
    EXPECT_EQ(form.HistoryListBox->item(1)->text(), "READ ERROR: x (5) (x2)");
    EXPECT_EQ(form.HistoryListBox->item(2)->text(), "R 01  FF L:01 ");
    EXPECT_EQ(form.HistoryListBox->currentRow(), 2);
}

TEST_F(LinkWindowTest, ReplyWithABadCheckByteIsLoggedAndStillActedOn) {
    Connect();
    device.SetCorruptEveryNth(1, 40, 0x01);  // a filler byte: the reply still parses
    for (int n = 0; n < 4; ++n) TickHold();
    form.show();
    ASSERT_GT(form.HistoryListBox->count(), 0);
    EXPECT_TRUE(form.HistoryListBox->currentItem()->text().startsWith("CHECK MISMATCH"));
    EXPECT_EQ(form.session().Linked(), true);
}

// --- The status display as the link drives it ------------------------------------

TEST_F(LinkWindowTest, Kind2PutsTheCaptionInTheLanguageAndTheTwinAsHint) {
    mainLinkLabel->setText("连接中...");  // the caption the status window takes up
    form.link().ShowLinkStatus(2, 0);
    EXPECT_EQ(status.LinkLabel->text(), "状态：连接中...");
    EXPECT_EQ(Hint(status.LinkLabel), "Status: 连接中...");
    EXPECT_TRUE(status.isVisible());
    EXPECT_EQ(MainLabelColour(), QColor(0, 128, 0));
    // The main label says what its green says, the fixed texts stay.
    EXPECT_EQ(mainLinkLabel->text(), "连接中...");
    EXPECT_EQ(status.Label1->text(), "请稍等,可能需要几秒钟才能完成操作！");

    language = kLanguageEnglish;
    form.link().ShowLinkStatus(2, 0);
    EXPECT_EQ(status.LinkLabel->text(), "Status: 连接中...");
    EXPECT_EQ(Hint(status.LinkLabel), "状态：连接中...");
}

TEST_F(LinkWindowTest, Kind2At200FillsTheBarAndKind3HidesTheWindow) {
    form.link().ShowLinkStatus(2, 200);
    EXPECT_EQ(status.RzProgressStatus1->value(), status.RzProgressStatus1->maximum());
    form.link().ShowLinkStatus(3, 0);
    EXPECT_FALSE(status.isVisible());
    EXPECT_EQ(status.RzProgressStatus1->value(), 0);
    EXPECT_EQ(MainLabelColour(), QColor(0, 202, 0));
}

TEST_F(LinkWindowTest, Kind0GreysTheLabelSaysNoUnitAndStopsAllThreeTimers) {
    Connect();
    form.Timer1->start();
    form.Timer2->start();
    form.link().ShowLinkStatus(0, 50);
    EXPECT_EQ(MainLabelColour(), QColor(160, 160, 164));
    EXPECT_EQ(mainLinkLabel->text(), "设备未连接");
    EXPECT_FALSE(AnyLinkTimerActive());
    EXPECT_EQ(form.link().Vars().linkState, kNotLinked);
}

TEST_F(LinkWindowTest, Kind5ChangesNothing) {
    Connect();
    const Snapshot before = Take();
    form.link().ShowLinkStatus(5, 50);
    EXPECT_TRUE(Take() == before);
}

// --- A whole connection ---------------------------------------------------------

TEST_F(LinkWindowTest, DevicePresentConnectsReadsEverythingAndGoesIdle) {
    form.link().DevicePresent();
    EXPECT_EQ(form.link().Vars().linkState, kLinkedBusy);
    EXPECT_EQ(MainLabelColour(), QColor(0, 128, 0));
    EXPECT_TRUE(form.Timer1->isActive());
    ASSERT_EQ(transport.Written().size(), 1u);
    EXPECT_EQ(transport.Written()[0][0], proto::kKeyReportId);

    TickConnect();  // the device has taken the key: the connect read starts
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_TRUE(form.Timer2->isActive());
    EXPECT_FALSE(form.HoldTimer->isActive());
    EXPECT_TRUE(status.isVisible());
    EXPECT_EQ(status.LinkLabel->text(), "状态：连接中...");
    EXPECT_EQ(mainLinkLabel->text(), "连接中...");

    int ticks = 0;
    bool statusShownThroughout = true;
    while (form.Timer2->isActive() && ticks < 100) {
        TickTransfer();
        ++ticks;
        if (form.Timer2->isActive()) statusShownThroughout = statusShownThroughout && status.isVisible();
    }
    EXPECT_EQ(ticks, 12);  // eleven blocks and the end code
    EXPECT_TRUE(statusShownThroughout);

    EXPECT_EQ(form.session().Linked(), true);
    EXPECT_TRUE(form.HoldTimer->isActive());
    EXPECT_FALSE(form.Timer2->isActive());
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_FALSE(status.isVisible());
    EXPECT_EQ(status.RzProgressStatus1->value(), 100);
    EXPECT_EQ(mainLinkLabel->text(), "设备已连接");
    EXPECT_EQ(Hint(mainLinkLabel), "The device is connected");
    EXPECT_EQ(MainLabelColour(), QColor(0, 202, 0));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(firstBandSelections, 1);
    EXPECT_EQ(store.Shown(kAddrMic1InputVolume), device.Value(kAddrMic1InputVolume));
    EXPECT_TRUE(dialogs.calls.empty());
}

// --- Message boxes --------------------------------------------------------------

TEST_F(LinkWindowTest, StalledTransferSaysConnectFailedWithTheTransferTimersStopped) {
    SnapshotWhileBoxOpen();
    form.link().DevicePresent();
    TickConnect();
    device.SetSilent(true);
    const int ticks = TickUntilBox(form.Timer2, &TForm9::Timer2Timer, 200);
    // One tick takes the answer to the first request and asks for the next,
    // which goes unanswered: retried after 11 ticks, given up 100 later.
    EXPECT_EQ(ticks, 1 + 11 + 100);

    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, ScriptedDialogs::Kind::Message);
    EXPECT_EQ(dialogs.calls[0].caption, "提示");
    EXPECT_EQ(dialogs.calls[0].text, "连接失败!");
    ASSERT_TRUE(whileBoxOpen);
    EXPECT_FALSE(whileBoxOpen->timer2);
    EXPECT_FALSE(whileBoxOpen->timer1);
    EXPECT_EQ(whileBoxOpen->mainCaption, "设备未连接");
    EXPECT_EQ(whileBoxOpen->linkState, kLinkedBusy);
}

TEST_F(LinkWindowTest, SilentDeviceSaysDisconnectedWithEveryTimerStopped) {
    Connect();
    SnapshotWhileBoxOpen();
    device.SetSilent(true);
    TickUntilBox(form.HoldTimer, &TForm9::HoldTimerTimer, 200);

    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].caption, "提示");
    EXPECT_EQ(dialogs.calls[0].text, "已断开连接!");
    ASSERT_TRUE(whileBoxOpen);
    EXPECT_FALSE(whileBoxOpen->hold);
    EXPECT_FALSE(whileBoxOpen->timer2);
    EXPECT_FALSE(whileBoxOpen->timer1);
    EXPECT_EQ(whileBoxOpen->mainCaption, "设备未连接");
    EXPECT_EQ(whileBoxOpen->linkState, kLinkedBusy);
}

TEST_F(LinkWindowTest, DisconnectedInEnglishHasTheConfirmCaption) {
    language = kLanguageEnglish;
    Connect();
    device.SetSilent(true);
    TickUntilBox(form.HoldTimer, &TForm9::HoldTimerTimer, 200);
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].caption, "Confirm");
    EXPECT_EQ(dialogs.calls[0].text, "Device Disconnected!");
    EXPECT_EQ(mainLinkLabel->text(), "OffLine");
}

TEST_F(LinkWindowTest, SaveDoneSaysSoWhileTheHoldTimerRunsOn) {
    Connect();
    SnapshotWhileBoxOpen();
    ASSERT_EQ(form.link().Vars().ready, 1);
    form.link().SendParameter(kAddrModeSave, 2);
    EXPECT_EQ(mainLinkLabel->text(), "保存等待中...");
    TickUntilBox(form.HoldTimer, &TForm9::HoldTimerTimer, 10);

    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].caption, "提示");
    EXPECT_EQ(dialogs.calls[0].text, "保存成功!");
    ASSERT_TRUE(whileBoxOpen);
    EXPECT_TRUE(whileBoxOpen->hold);
    EXPECT_FALSE(whileBoxOpen->statusVisible);
    EXPECT_EQ(whileBoxOpen->mainCaption, "设备已连接");
    EXPECT_EQ(whileBoxOpen->linkState, kLinkedIdle);
}

TEST_F(LinkWindowTest, ErrorReplyIsAPlainMessage) {
    Connect();
    device.SetRefuseEveryNth(1);
    form.link().SendParameter(kAddrMic1InputVolume, 5);
    Pump();
    EXPECT_EQ(dialogs.Texts(ScriptedDialogs::Kind::Plain), std::vector<QString>{"错误应答!"});
}

// A test that ticks the hold timer by hand while a late tick waits: its
// tick stands in for the late one, which never runs, and the timer is
// back at its interval.
TEST(QtLinkTimerTest, ATickByHandTakesTheLateTicksPlace) {
    QTimer timer;
    QtLinkTimer hold(timer);
    timer.setInterval(40);  // set after, as a session that makes its timers first does
    hold.Start();
    EXPECT_EQ(timer.interval(), 40);
    int lateRuns = 0;
    ASSERT_TRUE(hold.RunNextTickLate([&] { ++lateRuns; }));
    EXPECT_EQ(timer.interval(), 80);
    EXPECT_FALSE(hold.RunNextTickLate([&] { ++lateRuns; }));  // one at a time
    hold.TickCame();
    EXPECT_EQ(lateRuns, 0);
    EXPECT_EQ(timer.interval(), 40);
    EXPECT_TRUE(hold.IsActive());
    hold.Stop();
    EXPECT_FALSE(hold.RunNextTickLate([&] { ++lateRuns; }));  // a stopped timer has no next tick
}

// The QTimer's expiry, as the event loop would deliver it.
void Expire(QTimer& timer) {
    QTimerEvent expiry(timer.timerId());
    QCoreApplication::sendEvent(&timer, &expiry);
}

// An idle link asks for a late tick at every keep-alive: the QTimer keeps
// its doubled wait from one to the next, and is back at its interval after
// a tick that asks for none.
TEST(QtLinkTimerTest, TheDoubledWaitLastsWhileEveryTickAsksForALateOne) {
    QTimer timer;
    QtLinkTimer hold(timer);
    timer.setInterval(40);
    int ticks = 0;
    int lateRuns = 0;
    bool askLate = true;
    int asked = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        hold.TickCame();
        ++ticks;
        if (askLate) asked += hold.RunNextTickLate([&] { ++lateRuns; });
        hold.TickEnded();
    });
    hold.Start();
    ASSERT_TRUE(hold.RunNextTickLate([&] { ++lateRuns; }));
    for (int i = 1; i <= 3; ++i) {
        Expire(timer);
        EXPECT_EQ(lateRuns, i);
        EXPECT_EQ(timer.interval(), 80);
    }
    askLate = false;
    Expire(timer);
    EXPECT_EQ(lateRuns, 4);
    EXPECT_EQ(ticks, 4);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(timer.interval(), 40);
    EXPECT_TRUE(timer.isActive());
}

}  // namespace
}  // namespace tr640::testing
