// SPDX-License-Identifier: GPL-3.0-or-later
// tr640ctl --broker against a real Mosquitto on loopback: through a running
// bridge over virtual units, and against brokers and bridges that fail.

#include "BridgeFixture.h"
#include "cli/ExitCodes.h"
#include "cli/Tr640Ctl.h"
#include "link/UnitLock.h"

#include <QFile>
#include <QJsonArray>

#include <cstdlib>
#include <sstream>

namespace tr640 {
namespace {

using test::AddressOf;
using test::MosquittoBroker;

class Tr640CtlBrokerTest : public test::BridgeFixture {
protected:
    int Ctl(std::vector<std::string> args, const std::string& url = {}) {
        out.str({});
        err.str({});
        args.insert(args.begin(), {"tr640ctl", "--timeout", "3"});
        if (url != "none") args.insert(args.begin() + 1, {"--broker", url.empty() ? broker_.Url().toStdString() : url});
        CtlEnvironment env{out, err, nullptr, [] { return false; }, {}, {}, {}, &in};
        return RunTr640Ctl(args, env);
    }
    void ExpectErrorLine(const std::string& containing) {
        EXPECT_NE(err.str().find(containing), std::string::npos) << err.str();
        EXPECT_EQ(err.str().find('\n'), err.str().size() - 1) << err.str();
    }
    bool BothOnline() {
        return WaitFor("tr640/VIRTUAL-1/availability", "online") && WaitFor("tr640/VIRTUAL-2/availability", "online");
    }

    std::ostringstream out, err;
    std::istringstream in;
};

TEST_F(Tr640CtlBrokerTest, EveryCommandReachesTheUnitThroughTheBridge) {
    Plug("VIRTUAL-1");
    Plug("VIRTUAL-2");
    StartBridge();
    ASSERT_TRUE(BothOnline());
    ASSERT_EQ(Ctl({"list"}), kExitOk) << err.str();
    EXPECT_NE(out.str().find("VIRTUAL-1"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("VIRTUAL-2"), std::string::npos) << out.str();
    EXPECT_EQ(Ctl({"dump"}), kExitUsage);
    ExpectErrorLine("--serial");

    const int volume = AddressOf("mic1.volume");
    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-2", "set", "mic1.volume=80", "mic1.eq3.gain-=1.5dB", "mic1.phase=toggle"}),
              kExitOk)
        << err.str();
    EXPECT_EQ(units_[1]->Value(volume), 80);
    EXPECT_NE(units_[0]->Value(volume), 80);
    EXPECT_NE(out.str().find("mic1.eq3.gain             -1.6dB"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("took -1.6dB"), std::string::npos) << err.str();
    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-2", "set", "mic2.volume=190", "mic2.volume+=50", "mic1.eq1.bypass=toggle"}),
              kExitOk)
        << err.str();
    EXPECT_EQ(units_[1]->Value(AddressOf("mic2.volume")), 200);
    EXPECT_NE(err.str().find("mic2.volume: asked +=50, took 200% (stopped at its limit"), std::string::npos)
        << err.str();
    EXPECT_NE(out.str().find("mic1.eq1.bypass           on"), std::string::npos) << out.str();
    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-2", "set", "mic1.volume=80"}), kExitOk) << err.str();
    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-2", "--json", "get", "mic1.volume"}), kExitOk) << err.str();
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(out.str())).array().at(0)["value"].toString(), "80%");

    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-2", "mode", "recall", "2"}), kExitOk) << err.str();
    EXPECT_NE(out.str().find("recalled user mode 2"), std::string::npos);
    EXPECT_NE(units_[1]->Value(volume), 80);
    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-2", "mode", "save", "3"}), kExitOk) << err.str();

    // A preset of one unit, pulled and pushed to the other through the bridge.
    QTemporaryDir dir;
    const std::string preset = dir.filePath("one.Nddt").toStdString();
    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-1", "preset", "pull", preset}), kExitOk) << err.str();
    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-2", "preset", "push", preset}), kExitOk) << err.str();
    for (const char* name : {"mic1.volume", "mic1.eq2.gain", "noisegate"})
        EXPECT_EQ(units_[1]->Value(AddressOf(name)), units_[0]->Value(AddressOf(name))) << name;

    // A script, and TR640_BROKER standing for --broker.
    in.str("set mic2.volume=33\nget mic2.volume\n");
    ASSERT_EQ(Ctl({"--serial", "VIRTUAL-1", "-f", "-"}), kExitOk) << err.str();
    EXPECT_EQ(units_[0]->Value(AddressOf("mic2.volume")), 33);
    ::setenv("TR640_BROKER", broker_.Url().toStdString().c_str(), 1);
    const int viaEnvironment = Ctl({"--serial", "VIRTUAL-1", "get", "mic2.volume"}, "none");
    ::unsetenv("TR640_BROKER");
    ASSERT_EQ(viaEnvironment, kExitOk) << err.str();
    EXPECT_NE(out.str().find("33%"), std::string::npos);
}

TEST_F(Tr640CtlBrokerTest, BrokersAndBridgesThatFailEachHaveTheirCode) {
    EXPECT_EQ(Ctl({"dump"}, "mqtt://127.0.0.1:" + std::to_string(test::FreeLoopbackPort())), kExitBroker);
    ExpectErrorLine("the broker cannot be reached");
    EXPECT_EQ(Ctl({"dump"}), kExitOffline);
    ExpectErrorLine("no tr640-bridge is online");
    EXPECT_EQ(Ctl({"set", "mic1.eq1.type+=1"}), kExitUsage);
    EXPECT_EQ(Ctl({"--credentials", "/nonexistent", "dump"}), kExitUsage);

    MosquittoBroker guarded("installer", "s3cret");
    ASSERT_TRUE(guarded.Start()) << guarded.Log().toStdString();
    QTemporaryDir dir;
    QFile wrong(dir.filePath("credentials"));
    ASSERT_TRUE(wrong.open(QIODevice::WriteOnly));
    wrong.write("username=installer\npassword=guess\n");
    wrong.close();
    EXPECT_EQ(Ctl({"--credentials", wrong.fileName().toStdString(), "dump"}, guarded.Url().toStdString()), kExitBroker);
    ExpectErrorLine("not authorised");

    // A unit the bridge lists but cannot take.
    const std::string held = Plug("VIRTUAL-1");
    UnitLock other(locks_.path().toStdString());
    ASSERT_EQ(other.Take(UnitLock::KeyOf("VIRTUAL-1", held), "tr640"), UnitLock::Outcome::Taken);
    StartBridge();
    ASSERT_TRUE(QTest::qWaitFor([&] { return last_["tr640/bridge/units"].find("held by") != std::string::npos; }));
    EXPECT_EQ(Ctl({"dump"}), kExitOffline);
    ExpectErrorLine("the bridge reports the TR640 offline (held by tr640");
}

// The bridge's topics as a bridge left them, with no bridge behind them:
// the command is published and its response never comes, or the broker
// goes away while it waits.
TEST_F(Tr640CtlBrokerTest, ABridgeThatAnswersNothingTimesOutAndABrokerGoneIsSaid) {
    MqttClient stale(Settings("stale", false));
    ASSERT_TRUE(stale.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return stale.IsConnected(); }));
    stale.Publish("tr640/bridge/state", "online", true);
    stale.Publish("tr640/bridge/units", R"([{"serial":"S1","path":"/p","product":"TR640","linked":true}])", true);
    stale.Publish("tr640/S1/availability", "online", true);
    stale.Publish("tr640/S1", R"({"mic1.volume":100})", true);
    bool killAtCommand = false;
    int commands = 0;
    QObject::connect(&stale, &MqttClient::MessageReceived, [&](const std::string&, const std::string&, bool) {
        ++commands;
        if (killAtCommand) broker_.Kill();
    });
    stale.Subscribe("tr640/S1/set");
    ASSERT_TRUE(QTest::qWaitFor([&] { return stale.IsConnected(); }));
    ASSERT_EQ(Ctl({"--timeout", "1", "get", "mic1.volume"}), kExitOk) << err.str();
    EXPECT_EQ(Ctl({"--timeout", "1", "set", "mic1.volume=80"}), kExitTimeout);
    ExpectErrorLine("no answer from the bridge in time");
    EXPECT_EQ(commands, 1);
    killAtCommand = true;
    EXPECT_EQ(Ctl({"set", "mic1.volume=80"}), kExitBroker);
    ExpectErrorLine("the broker went away");
}

}  // namespace
}  // namespace tr640
