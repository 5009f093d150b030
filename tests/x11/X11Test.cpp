// SPDX-License-Identifier: GPL-3.0-or-later
// The program, the demo and the windows on a real X server, which the test
// command starts (scripts/with-xvfb.sh): window titles as the X server holds them,
// real input events from the server (xdotool), and pictures of the windows
// taken from the server (ImageMagick's import), kept in the screenshots
// folder beside this binary.
//
// Other processes and the X server answer in their own time, so these tests
// wait for what they look for, within a bound, instead of ticking timers.

#include "model/ParamAddress.h"
#include "support/ScriptedDialogs.h"
#include "ui/Controls.h"
#include "ui/VirtualRig.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QWindow>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace tr640::testing {
namespace {

const QString kMainCaption = QStringLiteral("Halvane[TR640控制软件 v0.3]");
constexpr int kWaitMs = 20000;

// Runs an X tool to its end; what it printed.
QString Tool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");  // titles in UTF-8
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(kWaitMs)) ADD_FAILURE() << program.toStdString() << " did not finish";
    return QString::fromUtf8(tool.readAllStandardOutput());
}

void Xdo(const QStringList& arguments) { Tool("xdotool", arguments); }

// Handles this process's events until `found` holds or the bound passes.
template <class Found>
bool WaitUntil(Found found) {
    const QDeadlineTimer deadline(kWaitMs);
    while (!found()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

// A top-level window as the X server knows it.
struct XWindow {
    QString id;
    QString title;
    bool viewable = false;
    QRect geometry;  // on the screen
};

int Field(const QString& text, const char* name) {
    const QRegularExpression pattern(QString::fromLatin1(name) + ":\\s*(-?\\d+)");
    return pattern.match(text).captured(1).toInt();
}

XWindow Describe(const QString& id) {
    XWindow window{id, {}, false, {}};
    // _NET_WM_NAME = "设备状态"
    const QString name = Tool("xprop", {"-id", id, "-notype", "_NET_WM_NAME"});
    const qsizetype open = name.indexOf(QLatin1Char('"')), close = name.lastIndexOf(QLatin1Char('"'));
    if (open >= 0 && close > open) window.title = name.mid(open + 1, close - open - 1);
    const QString info = Tool("xwininfo", {"-id", id});
    window.viewable = info.contains(QLatin1String("Map State: IsViewable"));
    window.geometry = QRect(Field(info, "Absolute upper-left X"), Field(info, "Absolute upper-left Y"),
                            Field(info, "Width"), Field(info, "Height"));
    return window;
}

// The window of process `pid` whose title starts with `caption` (a title
// with something appended is found too, so that a test can say what it
// reads), in the map state asked for.
std::optional<XWindow> FindWindow(qint64 pid, const QString& caption, bool viewable) {
    const QString ids = Tool("xdotool", {"search", "--pid", QString::number(pid)});
    for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const XWindow window = Describe(id);
        if (window.title.startsWith(caption) && window.viewable == viewable) return window;
    }
    return std::nullopt;
}

XWindow WaitForWindow(qint64 pid, const QString& caption, bool viewable = true) {
    std::optional<XWindow> window;
    const bool found = WaitUntil([&] { return (window = FindWindow(pid, caption, viewable)).has_value(); });
    if (!found) ADD_FAILURE() << "no " << (viewable ? "shown" : "hidden") << " window " << caption.toStdString();
    return window.value_or(XWindow{});
}

// A picture of a window taken from the X server: it has the window's size
// and is not blank (the windows' text alone brings dozens of colours). A
// window the server has just mapped may not be painted yet: the picture is
// taken again until it shows something, within the bound.
void ExpectPicture(const QString& windowId, const QString& name, QSize size) {
    // Without a window import would wait for one to be clicked.
    ASSERT_FALSE(windowId.isEmpty()) << name.toStdString();
    const QString path = QDir(QStringLiteral(TR640_X11_SHOTS)).filePath(name + ".png");
    QDir().mkpath(QStringLiteral(TR640_X11_SHOTS));
    QSize read;
    int colours = 0;
    WaitUntil([&] {
        QFile::remove(path);
        Tool("import", {"-window", windowId, path});
        const QStringList fields = Tool("identify", {"-format", "%w %h %k", path}).split(QLatin1Char(' '));
        if (fields.size() != 3) return false;
        read = QSize(fields[0].toInt(), fields[1].toInt());
        colours = fields[2].toInt();
        return read == size && colours >= 16;
    });
    EXPECT_EQ(read, size) << path.toStdString();
    EXPECT_GE(colours, 16) << path.toStdString() << " is nearly blank";
}

// Clicks at a point of a window, with the server's pointer.
void Click(const XWindow& window, QPoint inside) {
    const QPoint at = window.geometry.topLeft() + inside;
    Xdo({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

// A program from the build tree, ended with the test.
class Child {
public:
    explicit Child(const QString& path) {
        process_.setProcessChannelMode(QProcess::ForwardedChannels);
        process_.start(path, {});
        EXPECT_TRUE(process_.waitForStarted()) << path.toStdString();
    }
    ~Child() {
        process_.kill();
        process_.waitForFinished();
    }
    qint64 Pid() const { return process_.processId(); }

private:
    QProcess process_;
};

// --- The program and the demo, started from the build tree ---------------------

TEST(ProgramOnX, MainWindowBearsExactlyItsCaption) {
    Child program(QStringLiteral(TR640_PROGRAM));
    const XWindow main = WaitForWindow(program.Pid(), kMainCaption);
    EXPECT_EQ(main.title, kMainCaption) << main.title.toStdString();
    ExpectPicture(main.id, "program-main", QSize(883, 565));
}

TEST(DemoOnX, LinksAndEachWindowAndBoxShowsExactlyItsOwnCaption) {
    Child demo(QStringLiteral(TR640_DEMO));
    const XWindow main = WaitForWindow(demo.Pid(), kMainCaption);
    EXPECT_EQ(main.title, kMainCaption) << main.title.toStdString();
    const XWindow device = WaitForWindow(demo.Pid(), "虚拟 TR640");
    EXPECT_EQ(device.title.toStdString(), "虚拟 TR640 (Virtual TR640)");
    // Linked: the status window came up for the connection's read and has
    // gone again.
    const XWindow status = WaitForWindow(demo.Pid(), "设备状态", false);
    EXPECT_EQ(status.title.toStdString(), "设备状态");
    ExpectPicture(main.id, "demo-main", QSize(883, 565));
    ExpectPicture(device.id, "demo-device", device.geometry.size());

    // The dynamics page from the keyboard: a click on the outer tabs (their
    // left end, above the graph's surface), then the arrow key.
    Click(main, QPoint(39 + 8, 315 + 9));
    // Keys go where the server's focus is: once the click has put it there.
    ASSERT_TRUE(WaitUntil([&] { return Tool("xdotool", {"getwindowfocus"}).trimmed() == main.id; }));
    Xdo({"key", "Right"});
    // The middle band's curve button.
    Click(main, QPoint(15 + 431 + 10 + 47, 34 + 12 + 16 + 192 + 15));
    const XWindow compressor = WaitForWindow(demo.Pid(), "中音 Compressor");
    EXPECT_EQ(compressor.title.toStdString(), "中音 Compressor");
    ExpectPicture(compressor.id, "demo-compressor", QSize(663, 320));

    // The EQ reset button asks first.
    Click(main, QPoint(-1 + 797 + 35, 315 + 4 + 6));
    const XWindow box = WaitForWindow(demo.Pid(), "提示");
    EXPECT_EQ(box.title.toStdString(), "提示");
    ExpectPicture(box.id, "demo-confirm-box", box.geometry.size());
}

// --- Real input events reaching a virtual TR640 --------------------------------

// The program over a virtual TR640 in this process, its timers running, its
// windows on the X server.
class RigOnX : public ::testing::Test {
protected:
    RigOnX() {
        rig.program().Start();
        rig.Plug();
    }

    TForm1& w() { return rig.program().mainWindow(); }
    bool Idle() { return rig.program().link().Vars().linkState == kLinkedIdle; }
    // The unit holds what the window shows at `address`.
    bool UnitHoldsShown(int address) {
        const std::int32_t shown = rig.program().store().Shown(address);
        return Idle() && rig.device().Value(static_cast<std::uint8_t>(address >> 8),
                                            static_cast<std::size_t>(address & 0xFF)) == shown;
    }
    static QString Number(int n) { return QString::number(n); }

    VirtualRig rig{std::make_unique<ScriptedDialogs>()};
};

TEST_F(RigOnX, DraggedHandleAndTypedFrequencyReachTheUnit) {
    ASSERT_TRUE(WaitUntil([&] { return Idle() && w().windowHandle()->isExposed(); }));
    const int frequency = BandAddress(0, 1, kSlotFrequency), gain = BandAddress(0, 1, kSlotGain);
    const std::int32_t frequencyBefore = rig.program().store().Shown(frequency);
    const std::int32_t gainBefore = rig.program().store().Shown(gain);

    // Band 2's handle, up and to the right.
    const QPoint from = w().BandHandles[1]->mapToGlobal(QPoint(7, 7));
    Xdo({"mousemove", Number(from.x()), Number(from.y()), "mousedown", "1"});
    for (int step = 1; step <= 4; ++step) Xdo({"mousemove", Number(from.x() + 15 * step), Number(from.y() - 6 * step)});
    Xdo({"mouseup", "1"});
    ASSERT_TRUE(WaitUntil([&] {
        const auto& store = rig.program().store();
        return store.Shown(frequency) > frequencyBefore && store.Shown(gain) > gainBefore &&
               UnitHoldsShown(frequency) && UnitHoldsShown(gain);
    }));

    // The same band's frequency typed into its field.
    QLineEdit* field = w().Mic1FreEdit2;
    const QPoint centre = field->mapToGlobal(field->rect().center());
    Xdo({"mousemove", Number(centre.x()), Number(centre.y()), "click", "1"});
    ASSERT_TRUE(WaitUntil([&] { return field->hasFocus(); }));
    Xdo({"key", "ctrl+a", "BackSpace", "5", "0", "0", "Return"});
    ASSERT_TRUE(WaitUntil([&] { return rig.program().store().Shown(frequency) == 500 && UnitHoldsShown(frequency); }))
        << field->text().toStdString();
    EXPECT_EQ(field->text(), "500.0Hz");
}

TEST_F(RigOnX, StatusWindowPicture) {
    TForm4& status = rig.program().statusWindow();
    status.ShowStatus("加载中...", 40, rig.program().language());
    ASSERT_TRUE(WaitUntil([&] { return status.windowHandle() && status.windowHandle()->isExposed(); }));
    status.repaint();
    ExpectPicture(QString::number(status.winId()), "status-window", QSize(319, 91));
}

}  // namespace
}  // namespace tr640::testing

int main(int argc, char** argv) {
    // The xcb platform on the display the test command started.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "no DISPLAY: run through scripts/with-xvfb.sh\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
