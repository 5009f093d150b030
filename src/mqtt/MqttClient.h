// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One connection to an MQTT broker through libmosquitto, run by the Qt event
// loop: socket notifiers read and write its socket, a timer does its
// housekeeping (keep-alive pings, retries), and another timer reconnects with
// a growing delay. No extra thread. The ticks are named handlers so that
// tests can call them.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace tr640 {

// Where the broker is: mqtt://HOST[:PORT] or mqtts://HOST[:PORT].
struct BrokerAddress {
    std::string host;
    int port = 1883;
    bool tls = false;
};
// The address of a URL, or why it is none (one line of English).
struct BrokerAddressResult {
    std::optional<BrokerAddress> address;
    std::string error;
};
BrokerAddressResult ParseBrokerUrl(std::string_view url);

// A user name and password for the broker. Never from the command line,
// where every user of the host can read them.
struct BrokerCredentials {
    std::string username;
    std::string password;
};
struct CredentialsResult {
    std::optional<BrokerCredentials> credentials;  // none given: anonymous
    std::string error;
};
// A file of "username=..." and "password=..." lines (blank lines and '#'
// comments allowed).
CredentialsResult ReadCredentialsFile(const std::string& path);
// TR640_MQTT_USERNAME and TR640_MQTT_PASSWORD, when the user name is set.
std::optional<BrokerCredentials> CredentialsFromEnvironment();

struct MqttSettings {
    BrokerAddress broker;
    std::optional<BrokerCredentials> credentials;
    std::string caFile;  // for mqtts://; empty: the system's certificates
    std::string clientId;
    std::string willTopic;  // published retained by the broker when the link breaks
    std::string willPayload;
    int keepAliveSeconds = 30;
};

class MqttClient : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(MqttSettings settings, QObject* parent = nullptr);
    ~MqttClient() override;
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    // Starts the first connection; false with LastError() when the settings
    // cannot be used (a CA file that cannot be read, ...).
    bool Start();
    bool IsConnected() const { return connected_; }
    const std::string& LastError() const { return lastError_; }

    // QoS 1; false while not connected (the caller publishes again on
    // Connected, so nothing stale is queued).
    bool Publish(const std::string& topic, std::string_view payload, bool retain);
    // Kept and sent again on every connection.
    void Subscribe(const std::string& filter);

    // The delay before the next reconnection attempt: 1 s, doubling up to 30 s.
    int ReconnectDelayMs() const { return reconnectDelayMs_; }

    // Ticks and socket events; the timers and notifiers call these.
    void OnReadable();
    void OnWritable();
    void OnHousekeepingTick();
    void OnReconnectTick();

    static constexpr int kHousekeepingMs = 500;
    static constexpr int kFirstReconnectDelayMs = 1000;
    static constexpr int kLastReconnectDelayMs = 30000;

signals:
    void Connected();
    // A connection attempt came to nothing: the broker cannot be reached or
    // refused the client (`why`, in English). The next attempt follows.
    void AttemptFailed(const std::string& why);
    void Disconnected();
    void MessageReceived(const std::string& topic, const std::string& payload, bool retained);

private:
    static void ConnectCallback(mosquitto*, void* self, int rc);
    static void DisconnectCallback(mosquitto*, void* self, int rc);
    static void MessageCallback(mosquitto*, void* self, const mosquitto_message* message);

    void HandleConnect(int rc);
    void HandleConnectionLost();
    void WatchSocket();
    void UnwatchSocket();
    void UpdateWriteInterest();
    void ScheduleReconnect();
    void HandleLoopResult(int rc);

    MqttSettings settings_;
    mosquitto* mosq_ = nullptr;
    bool connected_ = false;
    bool everConnected_ = false;
    std::string lastError_;
    std::string refusal_;  // the broker's answer to the last connection it refused
    std::vector<std::string> subscriptions_;
    int reconnectDelayMs_ = kFirstReconnectDelayMs;
    std::unique_ptr<QSocketNotifier> readNotifier_, writeNotifier_;
    QTimer housekeeping_, reconnect_;
};

}  // namespace tr640
