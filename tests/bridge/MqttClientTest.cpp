// SPDX-License-Identifier: GPL-3.0-or-later
// The broker connection against a real Mosquitto on loopback.

#include "mqtt/MqttClient.h"
#include "support/MosquittoBroker.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace tr640 {
namespace {

using test::MosquittoBroker;

MqttSettings SettingsFor(const MosquittoBroker& broker, const char* id) {
    MqttSettings settings;
    settings.broker = *ParseBrokerUrl(broker.Url().toStdString()).address;
    settings.clientId = id;
    return settings;
}

// The last payload of every topic a client receives.
struct Inbox {
    explicit Inbox(MqttClient& client) {
        QObject::connect(&client, &MqttClient::MessageReceived,
                         [this](const std::string& topic, const std::string& payload, bool) { last[topic] = payload; });
    }
    std::map<std::string, std::string> last;
};

TEST(MqttClientTest, BrokerUrlsAndCredentialFiles) {
    const auto plain = ParseBrokerUrl("mqtt://broker.local");
    ASSERT_TRUE(plain.address);
    EXPECT_EQ(plain.address->port, 1883);
    const auto tls = ParseBrokerUrl("mqtts://[::1]:8884");
    ASSERT_TRUE(tls.address);
    EXPECT_EQ(tls.address->host, "::1");
    EXPECT_EQ(tls.address->port, 8884);
    EXPECT_TRUE(tls.address->tls);
    EXPECT_FALSE(ParseBrokerUrl("tcp://host").address);
    EXPECT_FALSE(ParseBrokerUrl("mqtt://host:0").address);
    EXPECT_FALSE(ParseBrokerUrl("mqtt://:1883").address);

    QTemporaryDir dir;
    const std::string path = dir.filePath("credentials").toStdString();
    std::ofstream(path) << "# the bridge's account\nusername = bridge\npassword=s3cret = yes\n";
    const auto read = ReadCredentialsFile(path);
    ASSERT_TRUE(read.credentials) << read.error;
    EXPECT_EQ(read.credentials->username, "bridge");
    EXPECT_EQ(read.credentials->password, "s3cret = yes");
    std::ofstream(path) << "user bridge\n";
    EXPECT_FALSE(ReadCredentialsFile(path).credentials);
}

TEST(MqttClientTest, RetainedMessagesComeBackAfterTheBrokerRestarts) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();
    MqttClient publisher(SettingsFor(broker, "publisher"));
    MqttClient listener(SettingsFor(broker, "listener"));
    Inbox inbox(listener);
    listener.Subscribe("t/#");
    ASSERT_TRUE(publisher.Start() && listener.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.IsConnected() && listener.IsConnected(); }));
    ASSERT_TRUE(publisher.Publish("t/a", "one", true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return inbox.last["t/a"] == "one"; }));

    broker.Kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !publisher.IsConnected() && !listener.IsConnected(); }));
    EXPECT_FALSE(publisher.Publish("t/a", "lost", true));
    // Tried again at once instead of after the delay, which has grown.
    EXPECT_GT(listener.ReconnectDelayMs(), MqttClient::kFirstReconnectDelayMs);
    ASSERT_TRUE(broker.Start());
    publisher.OnReconnectTick();
    listener.OnReconnectTick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.IsConnected() && listener.IsConnected(); }));
    EXPECT_EQ(listener.ReconnectDelayMs(), MqttClient::kFirstReconnectDelayMs);
    // The subscription is made again by itself.
    ASSERT_TRUE(publisher.Publish("t/b", "two", true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return inbox.last["t/b"] == "two"; }));
    publisher.OnHousekeepingTick();
    EXPECT_TRUE(publisher.IsConnected());
}

TEST(MqttClientTest, OnlyTheRightPasswordIsLetIn) {
    MosquittoBroker broker("bridge", "right");
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();
    MqttSettings wrong = SettingsFor(broker, "wrong");
    wrong.credentials = BrokerCredentials{"bridge", "wrong"};
    MqttClient refused(wrong);
    MqttSettings right = SettingsFor(broker, "right");
    right.credentials = BrokerCredentials{"bridge", "right"};
    MqttClient admitted(right);
    ASSERT_TRUE(refused.Start() && admitted.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return admitted.IsConnected() && !refused.LastError().empty(); }));
    EXPECT_FALSE(refused.IsConnected());
}

// mqtts:// with --cafile: the broker's own authority lets the client in;
// another one does not, and nothing is said in clear.
TEST(MqttClientTest, TlsConnectsWithTheBrokersAuthorityAndNotWithAnother) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.UseTls());
    ASSERT_TRUE(broker.Start()) << broker.Log().toStdString();
    QTemporaryDir dir;
    const QString stranger = dir.filePath("stranger.crt");
    ASSERT_TRUE(broker.MakeStrangerCa(stranger));

    MqttSettings trusted = SettingsFor(broker, "trusted");
    trusted.caFile = broker.CaFile().toStdString();
    MqttSettings misled = SettingsFor(broker, "misled");
    misled.caFile = stranger.toStdString();
    ASSERT_TRUE(trusted.broker.tls);
    MqttClient admitted(trusted);
    MqttClient refused(misled);
    ASSERT_TRUE(admitted.Start());
    refused.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return admitted.IsConnected() && !refused.LastError().empty(); }))
        << refused.LastError();
    EXPECT_FALSE(refused.IsConnected());
}

}  // namespace
}  // namespace tr640
