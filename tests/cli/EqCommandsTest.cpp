// SPDX-License-Identifier: GPL-3.0-or-later
// tr640ctl eq against a virtual TR640 on the virtual HID bus, ticked by the
// test.
#include "HandTicks.h"
#include "cli/ExitCodes.h"
#include "cli/Tr640Ctl.h"
#include "model/ParamAddress.h"
#include "model/ValueKinds.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

namespace tr640::testing {
namespace {

class EqCommandsTest : public ::testing::Test {
protected:
    int Run(std::vector<std::string> args) {
        out.str({});
        err.str({});
        args.insert(args.begin(), {"tr640ctl", "--timeout", "2"});
        CtlEnvironment env{out, err, &bus, [] { return false; }, {}, TickOnceRepliesAreIn(bus), {}, nullptr};
        return RunTr640Ctl(args, env);
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string file = dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

    VirtualTr640 device;
    VirtualHidBus bus;
    std::string path = bus.Plug(VirtualTr640Info({}), std::make_shared<VirtualTr640Endpoint>(device));
    std::ostringstream out, err;
    QTemporaryDir dir;
};

constexpr char kAutoEq[] =
    "Preamp: -6.2 dB\r\n"
    "Filter 1: ON LSC Fc 105 Hz Gain 5.1 dB Q 0.70\r\n"
    "Filter 2: ON PK Fc 1321 Hz Gain -3.0 dB Q 1.40\r\n"
    "Filter 3: OFF HPQ Fc 80 Hz Q 0.71\r\n";

TEST_F(EqCommandsTest, ImportSendsTheBandsAndPrintsWhatTheUnitReadsBack) {
    const std::string file = Write("ParametricEQ.txt", kAutoEq);
    ASSERT_EQ(Run({"--json", "eq", "import", "mic2", file}), kExitOk) << err.str();
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).object();
    const QJsonArray bands = root["bands"].toArray();
    ASSERT_EQ(bands.size(), 5);
    EXPECT_EQ(bands[1].toObject()["frequency"].toInt(), 1321);
    EXPECT_DOUBLE_EQ(bands[1].toObject()["gain"].toDouble(), -3.0);
    EXPECT_DOUBLE_EQ(bands[1].toObject()["q"].toDouble(), 1.40);
    EXPECT_EQ(bands[2].toObject()["type"].toString(), "highpass");
    EXPECT_TRUE(bands[2].toObject()["bypass"].toBool());
    EXPECT_TRUE(bands[4].toObject()["kept"].toBool());
    EXPECT_NE(root["warnings"].toArray()[0].toString().indexOf("mic2.volume"), -1);
    // On the unit itself: microphone 2's second band, and its fourth bypassed.
    EXPECT_EQ(device.Value(BandAddress(1, 1, kSlotFrequency)), 1321);
    EXPECT_EQ(device.Value(BandAddress(1, 1, kSlotGain)), 135);
    EXPECT_EQ(device.Value(BandAddress(1, 3, kSlotType)) / kBypassOffset, 1);
}

TEST_F(EqCommandsTest, ARefusedFileOrADryRunSendsNothing) {
    const int before = bus.WriteCount(path);
    EXPECT_EQ(Run({"eq", "import", "mic1", Write("notch.txt", "Filter 1: ON NO Fc 60 Hz\n")}), kExitFile);
    EXPECT_NE(err.str().find("line 1: the unit has no band for a NO filter"), std::string::npos) << err.str();
    EXPECT_EQ(Run({"eq", "import", "mic3", Write("a.txt", kAutoEq)}), kExitUsage);
    EXPECT_EQ(Run({"eq", "import", "mic1", dir.filePath("missing.txt").toStdString()}), kExitFile);
    ASSERT_EQ(Run({"eq", "import", "mic1", Write("b.txt", kAutoEq), "--dry-run"}), kExitOk);
    EXPECT_NE(out.str().find("band 1: lowshelf  105 Hz"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("dry run: nothing sent"), std::string::npos);
    EXPECT_EQ(bus.WriteCount(path), before);
}

TEST_F(EqCommandsTest, ExportedBandsImportBackUnchangedAndTheCurveIsWritten) {
    const std::string exported = dir.filePath("mic1.txt").toStdString();
    ASSERT_EQ(Run({"eq", "export", "mic1", exported}), kExitOk) << err.str();
    ASSERT_EQ(Run({"eq", "import", "mic1", exported}), kExitOk) << err.str();
    EXPECT_EQ(out.str().find("bypassed"), std::string::npos) << out.str();
    ASSERT_EQ(Run({"eq", "export", "mic1"}), kExitOk);
    std::ifstream in(exported);
    EXPECT_EQ(out.str(), std::string(std::istreambuf_iterator<char>(in), {}));
    const std::string png = dir.filePath("curve.png").toStdString(), csv = dir.filePath("curve.txt").toStdString();
    ASSERT_EQ(Run({"eq", "curve", "mic1", "--csv", csv, "--png", png}), kExitOk) << err.str();
    EXPECT_EQ(QImage(QString::fromStdString(png)).width(), 829);
    QFile text(QString::fromStdString(csv));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_EQ(text.readAll().count('\n'), 6 + 513);
}

}  // namespace
}  // namespace tr640::testing
