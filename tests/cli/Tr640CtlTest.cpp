// SPDX-License-Identifier: GPL-3.0-or-later
// tr640ctl's commands against virtual TR640s on the virtual HID bus: the
// real link and the reader threads, as the program runs; the test gives the
// link's ticks.
#include "link/UnitLock.h"
#include "HandTicks.h"
#include "cli/ExitCodes.h"
#include "cli/Tr640Ctl.h"
#include "model/ParamCatalogue.h"
#include "model/ParamText.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

namespace tr640::testing {
namespace {

// Stands for a unit that acknowledges a gain of 175 but keeps 170.
class StubbornEndpoint : public VirtualTr640Endpoint {
public:
    explicit StubbornEndpoint(VirtualTr640& d) : VirtualTr640Endpoint(d), device_(d) {}
    int OnOutputReport(std::span<const std::uint8_t> report) override {
        const int rc = VirtualTr640Endpoint::OnOutputReport(report);
        if (device_.Value(0x010E) == 175) device_.SetValue(0x010E, 170);
        return rc;
    }

private:
    VirtualTr640& device_;
};

class Tr640CtlTest : public ::testing::Test {
protected:
    int Run(std::vector<std::string> args) {
        out.str({});
        err.str({});
        args.insert(args.begin(), "tr640ctl");
        args.insert(args.begin() + 1, {"--timeout", "2"});
        CtlEnvironment env{out, err, &bus, [this] { return hook ? hook() : false; }, [this] { ++firstFrames; },
                           TickOnceRepliesAreIn(bus), lockDirectory, &in};
        return RunTr640Ctl(args, env);
    }
    std::string Plug(VirtualTr640& unit, const std::string& serial = {}) {
        return bus.Plug(VirtualTr640Info(serial), std::make_shared<VirtualTr640Endpoint>(unit));
    }
    void Stdin(const std::string& text) {
        in.clear();
        in.str(text);
    }
    // One line on stderr, naming the cause.
    void ExpectOneErrorLine(const std::string& containing) {
        const std::string text = err.str();
        EXPECT_NE(text.find(containing), std::string::npos) << text;
        EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    }

    // The units outlive the bus, whose endpoints hold on to them.
    VirtualTr640 device;
    VirtualTr640 other;
    VirtualHidBus bus;
    std::string path = Plug(device);
    std::ostringstream out, err;
    std::istringstream in;  // what `-f -` reads
    std::function<bool()> hook;
    int firstFrames = 0;  // what the start-up benchmark's stamp would print
    QTemporaryDir dir;
    std::string lockDirectory;  // empty: no locks, as for a bus of tr640ctl's own
};

TEST_F(Tr640CtlTest, UsageErrorsEndBeforeAnythingIsSent) {
    EXPECT_EQ(Run({"frobnicate"}), kExitUsage);
    EXPECT_EQ(Run({"get", "mic1.eq3.gian"}), kExitUsage);
    ExpectOneErrorLine("did you mean mic1.eq3.gain");
    EXPECT_EQ(Run({"set", "mic1.eq3.gain=-3dB", "mic1.eq3.gain=20dB"}), kExitUsage);
    ExpectOneErrorLine("out of range");
    EXPECT_EQ(Run({"set", "mic1.volume"}), kExitUsage);
    EXPECT_EQ(Run({"set", "mode.recall=2"}), kExitUsage);
    EXPECT_EQ(Run({"mode", "recall", "6"}), kExitUsage);
    EXPECT_EQ(Run({"set", "powerex="}), kExitUsage);
    ExpectOneErrorLine("no value given for powerex");
    EXPECT_EQ(Run({"set", "mic1.eq1.type= "}), kExitUsage);
    EXPECT_EQ(bus.WriteCount(path), 0);
    EXPECT_EQ(Run({"--help"}), kExitOk);
    EXPECT_NE(out.str().find("130  interrupted"), std::string::npos);
    EXPECT_EQ(Run({"set", "--help"}), kExitOk);
    EXPECT_NE(out.str().find("NAME=VALUE"), std::string::npos);
}

TEST_F(Tr640CtlTest, SetSendsEveryValueInOneConnectionAndConfirmsThem) {
    device.SetValue(0x0102, 10);  // band 1 of mic 1: parametric, bypassed
    ASSERT_EQ(Run({"set", "mic1.eq3.gain=-3.5dB", "mic1.eq1.type=highpass", "output.volume=80%"}), kExitOk)
        << err.str();
    EXPECT_EQ(device.Value(0x010E), 132);
    EXPECT_EQ(device.Value(0x0102), 13);  // the bypass stays
    EXPECT_EQ(device.Value(0x000E), 80);
    EXPECT_NE(out.str().find("-3.6dB"), std::string::npos) << out.str();
    EXPECT_EQ(bus.OpenConnections(path), 0);  // closed cleanly
    EXPECT_EQ(firstFrames, 1);                 // once, of the many frames written
}

TEST_F(Tr640CtlTest, SetSaysWhereTheValueTakenDiffersFromTheValueAsked) {
    ASSERT_EQ(Run({"set", "mic1.eq3.gain=-3.5dB", "mic1.eq3.q=1.2", "dynamics.mid.release=Atk x 9",
                   "mic1.volume=80"}),
              kExitOk)
        << err.str();
    const std::string lines = err.str();
    EXPECT_NE(lines.find("mic1.eq3.gain: asked -3.5dB, took -3.6dB (the gain is held in steps of 0.2dB)\n"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("mic1.eq3.q: asked 1.2, took 1.26"), std::string::npos) << lines;
    EXPECT_NE(lines.find("dynamics.mid.release: asked Atk x 9, took Atk x 8"), std::string::npos) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3) << lines;  // the volume was taken as asked

    ASSERT_EQ(Run({"--json", "set", "mic1.eq3.gain=-3.5dB"}), kExitOk) << err.str();
    const QJsonArray set = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array();
    ASSERT_EQ(set.size(), 1) << out.str();
    EXPECT_EQ(set[0].toObject()["asked"].toString(), "-3.5dB");
    EXPECT_EQ(set[0].toObject()["value"].toString(), "-3.6dB");
}

TEST_F(Tr640CtlTest, StepsAndTogglesStartFromTheUnitAndSayWhereTheyStopped) {
    const ParamEntry& volume = *FindParam("mic1.volume");
    const ParamEntry& phase = *FindParam("mic1.phase");
    device.SetValue(volume.address, volume.max - 2);
    ASSERT_EQ(Run({"set", "mic1.volume+=5", "mic1.phase=toggle", "mic1.eq3.gain-=1.5dB"}), kExitOk) << err.str();
    EXPECT_EQ(device.Value(volume.address), volume.max);
    EXPECT_EQ(device.Value(phase.address), 1);
    const std::string lines = err.str();
    EXPECT_NE(lines.find("mic1.volume: asked +=5, took"), std::string::npos) << lines;
    EXPECT_NE(lines.find("stopped at its limit"), std::string::npos) << lines;
    EXPECT_NE(lines.find("mic1.eq3.gain: asked -=1.5dB (-1.5), took -1.6dB"), std::string::npos) << lines;

    ASSERT_EQ(Run({"--json", "set", "mic1.volume+=5", "mic1.phase=toggle"}), kExitOk) << err.str();
    const QJsonArray set = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array();
    ASSERT_EQ(set.size(), 2) << out.str();
    EXPECT_TRUE(set[0].toObject()["clamped"].toBool());
    EXPECT_EQ(device.Value(phase.address), 0);

    const std::int32_t before = device.Value(volume.address);
    EXPECT_EQ(Run({"set", "mic1.volume-=5", "noisegate=toggle"}), kExitUsage);
    ExpectOneErrorLine("noisegate");
    EXPECT_EQ(Run({"set", "mic1.eq1.type+=1"}), kExitUsage);
    ExpectOneErrorLine("not a number");
    EXPECT_EQ(device.Value(volume.address), before);  // nothing of a refused call was sent
}

TEST_F(Tr640CtlTest, DumpAndGetPrintTheValuesSetTakesAndRawValues) {
    device.SetValue(0x0108, 3);
    device.SetValue(0x000B, 0);  // feedback off
    device.SetValue(0x0138, 0);  // the first PowerEx level
    ASSERT_EQ(Run({"dump", "--json"}), kExitOk) << err.str();
    const QJsonArray all = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array();
    ASSERT_FALSE(all.isEmpty());
    bool seen = false;
    for (const auto& v : all) {
        const QJsonObject o = v.toObject();
        // Every item printed is the word that sets what the unit holds.
        const ParamEntry* e = FindParam(o["name"].toString().toStdString());
        ASSERT_NE(e, nullptr);
        if (e->items.empty()) continue;
        const ParsedValue back = ParseParamValue(*e, o["value"].toString().toStdString(), o["raw"].toInt());
        EXPECT_TRUE(back.ok && back.raw == o["raw"].toInt()) << e->name << " " << back.error;
        if (o["name"].toString() != "noisegate") continue;
        seen = true;
        EXPECT_EQ(o["value"].toString(), QStringLiteral("4"));
        EXPECT_EQ(o["raw"].toInt(), 3);
        EXPECT_EQ(o["address"].toString(), "0x0008");
    }
    EXPECT_TRUE(seen);
    ASSERT_EQ(Run({"get", "mic1.eq3.freq", "feedback", "mic1.phase", "powerex"}), kExitOk) << err.str();
    EXPECT_NE(out.str().find("mic1.eq3.freq"), std::string::npos);
    EXPECT_NE(out.str().find("feedback                  off "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("mic1.phase                normal "), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("powerex                   1 "), std::string::npos) << out.str();
}

TEST_F(Tr640CtlTest, ListSaysWhichUnitsCanBeOpenedAndWhy) {
    ASSERT_EQ(Run({"list"}), kExitOk);
    EXPECT_NE(out.str().find(path), std::string::npos);
    bus.SetOpenError(path, EACCES);
    EXPECT_EQ(Run({"list"}), kExitNoAccess);
    EXPECT_NE(out.str().find("udev rule"), std::string::npos);
    EXPECT_EQ(Run({"dump"}), kExitNoAccess);
    ExpectOneErrorLine("udev rule");
    bus.Unplug(path);
    EXPECT_EQ(Run({"dump"}), kExitNoUnit);
    EXPECT_EQ(Run({"list"}), kExitNoUnit);
}

TEST_F(Tr640CtlTest, AUnitAnotherProgramHoldsIsNamedAndLeftAlone) {
    lockDirectory = dir.path().toStdString();
    UnitLock bridge(lockDirectory);
    ASSERT_EQ(bridge.Take(path, "tr640-bridge"), UnitLock::Outcome::Taken);
    EXPECT_EQ(Run({"set", "mic1.volume=50"}), kExitHeld);
    ExpectOneErrorLine("is held by tr640-bridge (process " + std::to_string(::getpid()) + ")");
    EXPECT_NE(err.str().find("tr640ctl --broker mqtt://HOST[:PORT]"), std::string::npos);
    EXPECT_EQ(device.Stats().framesReceived, 0u);
    bridge.Release();
    EXPECT_EQ(Run({"set", "mic1.volume=50"}), kExitOk) << err.str();
}

TEST_F(Tr640CtlTest, AScriptRunsOverOneConnectionAndStopsAtItsFirstFailingLine) {
    const QString script = dir.filePath("evening.tr640");
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# the evening's settings\nset mic1.volume=80\n\nset mic1.volume+=5 'mic1.phase=toggle'  # louder\n"
               "mode recall 2\n");
    file.close();
    ASSERT_EQ(Run({"-f", script.toStdString()}), kExitOk) << err.str();
    EXPECT_EQ(firstFrames, 1);  // one connection for the three lines
    EXPECT_NE(out.str().find("mic1.volume               85%\nmic1.phase                inverted\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("recalled user mode 2"), std::string::npos);

    // Every line is checked before the first is run.
    const int volume = FindParam("mic1.volume")->address;
    const std::size_t frames = device.Stats().framesReceived;
    Stdin("set mic1.volume=50\nfrob 2\n");
    EXPECT_EQ(Run({"-f", "-"}), kExitUsage);
    ExpectOneErrorLine("<stdin>:2: 'frob' is not a command");
    EXPECT_EQ(device.Stats().framesReceived, frames);

    const std::string failing = "set mic1.volume=50\nset mic1.volume=900\nset mic1.volume=60\n";
    Stdin(failing);
    EXPECT_EQ(Run({"-f", "-"}), kExitUsage);
    EXPECT_NE(err.str().find("<stdin>:2: value '900' out of range"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("stopped at line 2 (exit code 2), 1 command not run"), std::string::npos);
    EXPECT_EQ(device.Value(volume), 50);
    Stdin(failing);
    EXPECT_EQ(Run({"--keep-going", "-f", "-"}), kExitUsage);
    EXPECT_NE(err.str().find("1 of 3 commands failed, the first at line 2 (exit code 2)"), std::string::npos);
    EXPECT_EQ(device.Value(volume), 60);
}

TEST_F(Tr640CtlTest, TwoUnitsNeedASerial) {
    VirtualTr640& second = other;
    Plug(second, "B2");
    EXPECT_EQ(Run({"dump"}), kExitUsage);
    ExpectOneErrorLine("--serial");
    ASSERT_EQ(Run({"--serial", "B2", "set", "mic2.volume=50"}), kExitOk) << err.str();
    EXPECT_EQ(second.Value(0x0136), 50);
    EXPECT_NE(device.Value(0x0136), 50);
    EXPECT_EQ(Run({"--serial", "C3", "dump"}), kExitNoUnit);
}

TEST_F(Tr640CtlTest, SilenceRefusalAndADifferentReadBackEachHaveTheirCode) {
    device.SetSilent(true);
    EXPECT_EQ(Run({"--timeout", "1", "dump"}), kExitTimeout);
    ExpectOneErrorLine("no answer");
    device.SetSilent(false);

    // Count the frames of a connection, then refuse the first one after it.
    ASSERT_EQ(Run({"dump"}), kExitOk);
    const std::size_t connectFrames = device.Stats().framesAccepted;
    device.SetRefuseEveryNth(connectFrames + 1);
    EXPECT_EQ(Run({"set", "mic1.volume=20"}), kExitRefused) << err.str();
    device.ClearFaults();

    VirtualTr640& stubborn = other;
    bus.Unplug(path);
    bus.Plug(VirtualTr640Info(), std::make_shared<StubbornEndpoint>(stubborn));
    EXPECT_EQ(Run({"set", "mic1.eq3.gain=5dB"}), kExitDiffers);
    EXPECT_NE(err.str().find("mic1.eq3.gain: 5.0dB -> 4.0dB"), std::string::npos) << err.str();
}

TEST_F(Tr640CtlTest, AUnitThatGoesAwayOrACtrlCEndsTheCommandCleanly) {
    hook = [this] {
        if (device.KeyLearned() && bus.OpenConnections(path) > 0) bus.Unplug(path);
        return false;
    };
    EXPECT_EQ(Run({"dump"}), kExitNoUnit);
    ExpectOneErrorLine("went away");

    const std::string otherPath = Plug(other);
    hook = [this] { return other.KeyLearned(); };
    EXPECT_EQ(Run({"set", "mic1.volume=20"}), kExitInterrupted);
    EXPECT_EQ(bus.OpenConnections(otherPath), 0);
}

TEST_F(Tr640CtlTest, PresetsGoBothWaysAndWorkWithoutAUnit) {
    const std::string saved = dir.filePath("live.txt").toStdString();
    const std::string file = dir.filePath("live.Nddt").toStdString();
    device.SetValue(0x010E, 175);
    ASSERT_EQ(Run({"preset", "pull", saved}), kExitOk) << err.str();  // the name rule gives .Nddt
    EXPECT_EQ(out.str(), "saved " + file + "\n");
    EXPECT_EQ(Run({"preset", "pull", saved}), kExitFile);  // would replace unseen
    ExpectOneErrorLine(file + " exists (--force replaces it)");
    EXPECT_EQ(Run({"preset", "pull", "--force", saved}), kExitOk) << err.str();

    device.SetValue(0x010E, 100);
    device.SetValue(0x0008, 5);  // the noise gate: the file has the unit's first value, 3
    const std::uint16_t fileGate = 3;
    ASSERT_EQ(Run({"preset", "push", file}), kExitOk) << err.str();
    EXPECT_EQ(device.Value(0x010E), 175);
    EXPECT_EQ(device.Value(0x0008), fileGate);  // the system settings follow page 1

    // A second file that differs in the gate and in the last mode command:
    // only the setting is a difference.
    const std::string second = dir.filePath("second.Nddt").toStdString();
    device.SetValue(0x0008, 5);
    device.SetValue(0x000C, 2);
    ASSERT_EQ(Run({"preset", "pull", second}), kExitOk) << err.str();
    device.SetValue(0x000C, 0);
    EXPECT_EQ(Run({"preset", "diff", file, second}), kExitDiffers);
    EXPECT_EQ(out.str(), "noisegate: 4 -> 6\n");

    bus.Unplug(path);
    ASSERT_EQ(Run({"preset", "show", "--json", file}), kExitOk);
    EXPECT_NE(out.str().find("\"value\": \"5.0dB\""), std::string::npos) << out.str();
    EXPECT_EQ(Run({"preset", "diff", file, file}), kExitOk);
    EXPECT_EQ(Run({"preset", "show", dir.filePath("none.Nddt").toStdString()}), kExitFile);
    EXPECT_EQ(Run({"preset", "push", saved}), kExitFile);  // not a preset (no such file either)
    EXPECT_EQ(Run({"preset", "push", file}), kExitNoUnit);
}

// Fields of a traffic log line: time, direction, frame, hex.
std::vector<std::string> LogFields(const std::string& line) {
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
        const std::size_t at = line.find("  ", from);
        fields.push_back(line.substr(from, at - from));
        if (at == std::string::npos) return fields;
        from = at + 2;
    }
}

// The bytes of a hex field, runs ("00*35") written out.
std::size_t HexLength(const std::string& hex) {
    std::istringstream tokens(hex);
    std::size_t n = 0;
    for (std::string t; tokens >> t;) n += t.size() > 3 ? std::stoul(t.substr(3)) : 1;
    return n;
}

TEST_F(Tr640CtlTest, TheTrafficLogHasEveryFrameDecodedInFileAndOnStderr) {
    const std::string file = dir.filePath("traffic.log").toStdString();
    ASSERT_EQ(Run({"--log", file, "-v", "set", "mic1.volume=80"}), kExitOk) << err.str();
    std::ifstream in(file);
    const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(err.str(), logged);  // -v: the same lines

    std::istringstream lines(logged);
    int step = 0;  // the key, then the write, then its acceptance
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> f = LogFields(line);
        ASSERT_EQ(f.size(), 4u) << line;
        EXPECT_NE(f[0].find('.'), std::string::npos) << line;
        EXPECT_EQ(HexLength(f[3]), VirtualTr640::kInputReportLength) << line;
        if (step == 0 && f[1] == ">" && f[2].starts_with("key key=")) step = 1;
        if (step == 1 && f[1] == ">" && f[2] == "write addr=0x0134 name=mic1.volume value=80") step = 2;
        if (step == 2 && f[1] == "<" && f[2].ends_with("status=accepted")) step = 3;
    }
    EXPECT_EQ(step, 3) << logged;

    EXPECT_EQ(Run({"--log", dir.filePath("none/traffic.log").toStdString(), "set", "mic1.volume=70"}), kExitFile);
    ExpectOneErrorLine("cannot write the log");
    EXPECT_EQ(device.Value(0x0134), 80);
}

TEST_F(Tr640CtlTest, ModesAreSavedAndRecalledWithWhatChanged) {
    device.SetValue(0x0134, 42);
    ASSERT_EQ(Run({"mode", "save", "3"}), kExitOk) << err.str();
    EXPECT_EQ(device.UserMode(3)[0x34], 42);
    device.SetValue(0x0134, 7);
    ASSERT_EQ(Run({"mode", "recall", "3"}), kExitOk) << err.str();
    EXPECT_EQ(device.Value(0x0134), 42);
    EXPECT_NE(out.str().find("mic1.volume: 7% -> 42%"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace tr640::testing
