// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/MqttClient.h"

#include <mosquitto.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace tr640 {

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool ParsePort(std::string_view text, int& port) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    return ec == std::errc() && end == text.data() + text.size() && port > 0 && port < 65536;
}

}  // namespace

BrokerAddressResult ParseBrokerUrl(std::string_view url) {
    BrokerAddress address;
    std::string_view rest;
    if (url.substr(0, 7) == "mqtt://") {
        rest = url.substr(7);
    } else if (url.substr(0, 8) == "mqtts://") {
        rest = url.substr(8);
        address.tls = true;
        address.port = 8883;
    } else {
        return {std::nullopt, "the broker must be given as mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"};
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    // A bracketed IPv6 address keeps its colons.
    const std::size_t close = rest.substr(0, 1) == "[" ? rest.find(']') : std::string_view::npos;
    const std::size_t colon = rest.find(':', close == std::string_view::npos ? 0 : close);
    std::string_view host = rest.substr(0, colon);
    if (close != std::string_view::npos) host = rest.substr(1, close - 1);
    if (host.empty() || host.find_first_of("/@ ") != std::string_view::npos)
        return {std::nullopt, "the broker URL has no usable host name"};
    if (colon != std::string_view::npos && !ParsePort(rest.substr(colon + 1), address.port))
        return {std::nullopt, "the broker URL's port must be a number 1 to 65535"};
    address.host = std::string(host);
    return {address, {}};
}

CredentialsResult ReadCredentialsFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) return {std::nullopt, "cannot read the credentials file " + path};
    BrokerCredentials credentials;
    std::string line;
    while (std::getline(file, line)) {
        const std::string_view text = Trim(line);
        if (text.empty() || text.front() == '#') continue;
        const std::size_t eq = text.find('=');
        const std::string_view key = eq == std::string_view::npos ? text : Trim(text.substr(0, eq));
        const std::string value(eq == std::string_view::npos ? "" : Trim(text.substr(eq + 1)));
        if (key == "username") credentials.username = value;
        else if (key == "password") credentials.password = value;
        else return {std::nullopt, "the credentials file " + path + " has a line other than username= or password="};
    }
    if (credentials.username.empty()) return {std::nullopt, "the credentials file " + path + " gives no username"};
    return {credentials, {}};
}

std::optional<BrokerCredentials> CredentialsFromEnvironment() {
    const char* user = std::getenv("TR640_MQTT_USERNAME");
    if (!user || !*user) return std::nullopt;
    const char* password = std::getenv("TR640_MQTT_PASSWORD");
    return BrokerCredentials{user, password ? password : ""};
}

MqttClient::MqttClient(MqttSettings settings, QObject* parent) : QObject(parent), settings_(std::move(settings)) {
    // Counted by the library: every client holds it for its lifetime.
    mosquitto_lib_init();
    housekeeping_.setInterval(kHousekeepingMs);
    connect(&housekeeping_, &QTimer::timeout, this, &MqttClient::OnHousekeepingTick);
    reconnect_.setSingleShot(true);
    connect(&reconnect_, &QTimer::timeout, this, &MqttClient::OnReconnectTick);
}

MqttClient::~MqttClient() {
    // Going away is no lost connection to tell anyone about.
    blockSignals(true);
    UnwatchSocket();
    if (mosq_) {
        if (connected_) {
            mosquitto_disconnect(mosq_);
            mosquitto_loop_write(mosq_, 1);
        }
        mosquitto_destroy(mosq_);
    }
    mosquitto_lib_cleanup();
}

bool MqttClient::Start() {
    // A clean session: every subscription is made again on each connection,
    // and nothing a restarted broker forgot is expected from it.
    mosq_ = mosquitto_new(settings_.clientId.empty() ? nullptr : settings_.clientId.c_str(), true, this);
    if (!mosq_) return lastError_ = "cannot create the MQTT client", false;
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(mosq_, &MqttClient::ConnectCallback);
    mosquitto_disconnect_callback_set(mosq_, &MqttClient::DisconnectCallback);
    mosquitto_message_callback_set(mosq_, &MqttClient::MessageCallback);
    if (!settings_.willTopic.empty() &&
        mosquitto_will_set(mosq_, settings_.willTopic.c_str(), static_cast<int>(settings_.willPayload.size()),
                           settings_.willPayload.data(), 1, true) != MOSQ_ERR_SUCCESS)
        return lastError_ = "the last will cannot be set", false;
    if (settings_.credentials &&
        mosquitto_username_pw_set(mosq_, settings_.credentials->username.c_str(),
                                  settings_.credentials->password.c_str()) != MOSQ_ERR_SUCCESS)
        return lastError_ = "the user name and password cannot be set", false;
    if (settings_.broker.tls) {
        const int rc = settings_.caFile.empty()
                           ? mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                           : mosquitto_tls_set(mosq_, settings_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) return lastError_ = "TLS cannot be set up: " + std::string(mosquitto_strerror(rc)), false;
    }
    housekeeping_.start();
    const int rc = mosquitto_connect_async(mosq_, settings_.broker.host.c_str(), settings_.broker.port,
                                           settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        // An unreachable broker is tried again later, as after a lost link.
        lastError_ = mosquitto_strerror(rc);
        ScheduleReconnect();
        emit AttemptFailed(lastError_);
        return true;
    }
    WatchSocket();
    return true;
}

bool MqttClient::Publish(const std::string& topic, std::string_view payload, bool retain) {
    if (!connected_) return false;
    const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                     1, retain);
    UpdateWriteInterest();
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::Subscribe(const std::string& filter) {
    if (std::find(subscriptions_.begin(), subscriptions_.end(), filter) == subscriptions_.end())
        subscriptions_.push_back(filter);
    // Exactly once: a command must neither be lost nor carried out twice.
    if (connected_) mosquitto_subscribe(mosq_, nullptr, filter.c_str(), 2);
    UpdateWriteInterest();
}

void MqttClient::OnReadable() {
    if (!mosq_) return;
    HandleLoopResult(mosquitto_loop_read(mosq_, 1));
}

void MqttClient::OnWritable() {
    if (!mosq_) return;
    HandleLoopResult(mosquitto_loop_write(mosq_, 1));
}

void MqttClient::OnHousekeepingTick() {
    if (!mosq_ || !readNotifier_) return;
    HandleLoopResult(mosquitto_loop_misc(mosq_));
}

void MqttClient::OnReconnectTick() {
    if (!mosq_ || readNotifier_) return;
    const int rc = mosquitto_reconnect_async(mosq_);
    if (rc != MOSQ_ERR_SUCCESS) {
        lastError_ = mosquitto_strerror(rc);
        ScheduleReconnect();
        emit AttemptFailed(lastError_);
        return;
    }
    WatchSocket();
}

void MqttClient::ConnectCallback(mosquitto*, void* self, int rc) { static_cast<MqttClient*>(self)->HandleConnect(rc); }

void MqttClient::DisconnectCallback(mosquitto*, void* self, int) {
    static_cast<MqttClient*>(self)->HandleConnectionLost();
}

void MqttClient::MessageCallback(mosquitto*, void* self, const mosquitto_message* message) {
    const std::string payload(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
    emit static_cast<MqttClient*>(self)->MessageReceived(message->topic, payload, message->retain);
}

void MqttClient::HandleConnect(int rc) {
    if (rc != 0) {
        // Refused (a wrong password, not authorised): the broker closes the
        // connection, and the next attempt waits as after a lost link.
        lastError_ = refusal_ = mosquitto_connack_string(rc);
        return;
    }
    connected_ = true;
    everConnected_ = true;
    reconnectDelayMs_ = kFirstReconnectDelayMs;
    for (const std::string& filter : subscriptions_) mosquitto_subscribe(mosq_, nullptr, filter.c_str(), 2);
    UpdateWriteInterest();
    emit Connected();
}

void MqttClient::HandleConnectionLost() {
    UnwatchSocket();
    const bool was = connected_;
    connected_ = false;
    if (!reconnect_.isActive()) ScheduleReconnect();
    if (was) {
        emit Disconnected();
        return;
    }
    // After a refusal the broker's reason is the one worth telling, not the
    // closed socket that follows it.
    if (!refusal_.empty()) lastError_ = std::exchange(refusal_, {});
    emit AttemptFailed(lastError_);
}

void MqttClient::HandleLoopResult(int rc) {
    if (rc == MOSQ_ERR_SUCCESS) {
        UpdateWriteInterest();
        return;
    }
    // The library's own disconnect callback may have seen to it already.
    if (!readNotifier_) return;
    lastError_ = mosquitto_strerror(rc);
    HandleConnectionLost();
}

void MqttClient::WatchSocket() {
    UnwatchSocket();
    const int fd = mosquitto_socket(mosq_);
    if (fd < 0) {
        ScheduleReconnect();
        return;
    }
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &MqttClient::OnReadable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &MqttClient::OnWritable);
    UpdateWriteInterest();
}

void MqttClient::UnwatchSocket() {
    // A lost connection shows while a notifier is calling us: it goes once
    // its signal has returned.
    for (std::unique_ptr<QSocketNotifier>* notifier : {&readNotifier_, &writeNotifier_}) {
        if (!*notifier) continue;
        (*notifier)->setEnabled(false);
        notifier->release()->deleteLater();
    }
}

void MqttClient::UpdateWriteInterest() {
    if (writeNotifier_ && mosq_) writeNotifier_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::ScheduleReconnect() {
    reconnect_.start(reconnectDelayMs_);
    reconnectDelayMs_ = std::min(reconnectDelayMs_ * 2, kLastReconnectDelayMs);
}

}  // namespace tr640
