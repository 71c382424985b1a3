#include "MosquittoClient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include "BrokerTlsCheck.h"

namespace horalux::bridge {
namespace {

constexpr int kQos = 1;
constexpr int kKeepAliveS = 30;
constexpr unsigned kFirstPauseS = 1;
constexpr unsigned kLongestPauseS = 60;
constexpr int kFlushLimitMs = 2000;
constexpr int kFlushLookMs = 10;

// The library is set up once per process, whatever the number of clients.
void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string refusalText(int rc) {
    switch (rc) {
        case 1:
            return "the broker refused the protocol version";
        case 2:
            return "the broker refused the client id";
        case 3:
            return "the broker is unavailable";
        case 4:
            return "the broker refused the user name or password";
        case 5:
        case MQTT_RC_NOT_AUTHORIZED:
            return "the broker refused the connection: not authorised (wrong user or password?)";
        case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
            return "the broker refused the user name or password";
        case MQTT_RC_CLIENTID_NOT_VALID:
            return "the broker refused the client id";
        case MQTT_RC_SERVER_UNAVAILABLE:
        case MQTT_RC_SERVER_BUSY:
            return "the broker is unavailable";
        default:
            if (rc >= MQTT_RC_UNSPECIFIED) {
                return std::string("the broker refused the connection: ") +
                       mosquitto_reason_string(rc);
            }
            return std::string("the broker refused the connection: ") +
                   mosquitto_connack_string(rc);
    }
}

}  // namespace

MosquittoClient::MosquittoClient(const BrokerSettings& broker) : broker_(broker) {
    initLibrary();
}

MosquittoClient::~MosquittoClient() {
    stop();
    if (mosq_ != nullptr) {
        mosquitto_destroy(mosq_);
    }
}

std::string MosquittoClient::start(const Handlers& handlers) {
    handlers_ = handlers;
    mosq_ =
        mosquitto_new(broker_.clientId.empty() ? nullptr : broker_.clientId.c_str(), true, this);
    if (mosq_ == nullptr) {
        return "cannot make an MQTT client: out of memory";
    }
    mosquitto_connect_callback_set(mosq_, &MosquittoClient::onConnect);
    mosquitto_disconnect_callback_set(mosq_, &MosquittoClient::onDisconnect);
    mosquitto_message_callback_set(mosq_, &MosquittoClient::onMessage);
    mosquitto_publish_callback_set(mosq_, &MosquittoClient::onPublish);
    mosquitto_log_callback_set(mosq_, &MosquittoClient::onLog);
    mosquitto_reconnect_delay_set(mosq_, kFirstPauseS, kLongestPauseS, true);
    int rc = mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    if (!broker_.user.empty()) {
        rc = mosquitto_username_pw_set(mosq_, broker_.user.c_str(), broker_.password.c_str());
    }
    if (rc == MOSQ_ERR_SUCCESS && !broker_.willTopic.empty()) {
        rc = mosquitto_will_set(mosq_, broker_.willTopic.c_str(),
                                static_cast<int>(broker_.willPayload.size()),
                                broker_.willPayload.data(), kQos, true);
    }
    if (rc == MOSQ_ERR_SUCCESS && broker_.tls) {
        rc = mosquitto_tls_set(mosq_, broker_.caFile.empty() ? nullptr : broker_.caFile.c_str(),
                               broker_.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr,
                               nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            return "cannot use the CA file " + broker_.caFile + ": " + mosquitto_strerror(rc);
        }
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        return std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc);
    }
    rc = mosquitto_loop_start(mosq_);
    if (rc != MOSQ_ERR_SUCCESS) {
        return std::string("cannot start the MQTT client's thread: ") + mosquitto_strerror(rc);
    }
    started_ = true;
    // A broker not there yet is no reason to give up: the client's thread tries again.
    rc = mosquitto_connect_async(mosq_, broker_.host.c_str(), broker_.port, kKeepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        connectFailed(rc);
    }
    return {};
}

void MosquittoClient::connectFailed(int rc) {
    std::string why = rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno))
                                           : std::string(mosquitto_strerror(rc));
    if (rc == MOSQ_ERR_TLS) {
        // Told once per try: the library both logs it and may return it.
        if (tlsTold_.exchange(true)) {
            return;
        }
        why = "cannot connect (" + brokerTlsProblem(broker_, why) + ")";
        // The library's thread gives up after its own try too.
        giveUpFor();
    }
    if (handlers_.disconnected) {
        handlers_.disconnected(why);
    }
}

bool MosquittoClient::publish(const std::string& topic, const std::string& payload, bool retain) {
    if (mosq_ == nullptr) {
        return false;
    }
    ++unacknowledged_;
    if (mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), kQos, retain) != MOSQ_ERR_SUCCESS) {
        --unacknowledged_;
        return false;
    }
    return true;
}

bool MosquittoClient::subscribe(const std::string& pattern, bool keepRetainFlag) {
    if (mosq_ == nullptr) {
        return false;
    }
    if (v5_) {
        return mosquitto_subscribe_v5(mosq_, nullptr, pattern.c_str(), kQos,
                                      keepRetainFlag ? MQTT_SUB_OPT_RETAIN_AS_PUBLISHED : 0,
                                      nullptr) == MOSQ_ERR_SUCCESS;
    }
    return mosquitto_subscribe(mosq_, nullptr, pattern.c_str(), kQos) == MOSQ_ERR_SUCCESS;
}

void MosquittoClient::giveUpFor() {
    // The pauses are the same as after any other failure.
    const unsigned pause = pauseS_;
    againAt_ = std::chrono::steady_clock::now() + std::chrono::seconds(pause);
    pauseS_ = std::min(pause * 2, kLongestPauseS);
    gaveUp_ = true;
}

void MosquittoClient::poll() {
    if (!started_ || !gaveUp_ || std::chrono::steady_clock::now() < againAt_) {
        return;
    }
    gaveUp_ = false;
    // Its thread has ended, or ends as soon as the callback returns.
    mosquitto_loop_stop(mosq_, false);
    tlsTold_ = false;
    const int rc = mosquitto_reconnect_async(mosq_);
    mosquitto_loop_start(mosq_);
    if (rc != MOSQ_ERR_SUCCESS) {
        connectFailed(rc);
    }
}

void MosquittoClient::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    // The last messages (offline) go out before the goodbye; a broker that is gone gets 2 s.
    for (int waited = 0; unacknowledged_.load() > 0 && waited < kFlushLimitMs;
         waited += kFlushLookMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kFlushLookMs));
    }
    mosquitto_disconnect(mosq_);
    // Forced: a broker that never answered leaves the thread in its reconnect pause.
    mosquitto_loop_stop(mosq_, true);
}

void MosquittoClient::onConnect(mosquitto* m, void* self, int rc) {
    auto& client = *static_cast<MosquittoClient*>(self);
    if (client.v5_ && (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || rc == 1)) {
        // A 3.1.1 broker: the next try, the client's own, speaks its version.
        client.v5_ = false;
        client.refused_ = true;
        mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        return;
    }
    if (rc == 0) {
        client.up_ = true;
        client.pauseS_ = kFirstPauseS;
        if (client.handlers_.connected) {
            client.handlers_.connected();
        }
    } else {
        // The broker hangs up after a refusal: that is no news of its own.
        client.refused_ = true;
        if (client.v5_) {
            // The library takes an MQTT 5 refusal for final and ends its thread.
            client.giveUpFor();
        }
        if (client.handlers_.disconnected) {
            client.handlers_.disconnected(refusalText(rc));
        }
    }
}

void MosquittoClient::onDisconnect(mosquitto*, void* self, int rc) {
    auto& client = *static_cast<MosquittoClient*>(self);
    // 0: our own disconnect.
    // A connection never made is not lost: the broker was not reached.
    const bool wasUp = std::exchange(client.up_, false);
    if (rc == MOSQ_ERR_TLS) {
        // The library ends its thread after a TLS failure, as after a refusal.
        client.giveUpFor();
    }
    if (rc != 0 && !std::exchange(client.refused_, false) && client.handlers_.disconnected) {
        std::string why = mosquitto_strerror(rc);
        if (rc == MOSQ_ERR_TLS && !wasUp) {
            why = brokerTlsProblem(client.broker_, why);
        } else if (!wasUp && (rc == MOSQ_ERR_KEEPALIVE || rc == MOSQ_ERR_UNKNOWN)) {
            // Connected, and no answer to the login.
            why = "no answer from the broker";
        }
        client.handlers_.disconnected((wasUp ? "the connection was lost (" : "cannot connect (") +
                                      why + ")");
    }
}

void MosquittoClient::onLog(mosquitto*, void* self, int level, const char* text) {
    // A failed handshake in the library's thread ends it without a disconnect callback; its
    // log line is the only news of it.
    auto& client = *static_cast<MosquittoClient*>(self);
    if (level == MOSQ_LOG_ERR && text != nullptr &&
        std::string_view(text).starts_with("OpenSSL Error") && !client.up_) {
        client.connectFailed(MOSQ_ERR_TLS);
    }
}

void MosquittoClient::onPublish(mosquitto*, void* self, int) {
    --static_cast<MosquittoClient*>(self)->unacknowledged_;
}

void MosquittoClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto& client = *static_cast<MosquittoClient*>(self);
    if (client.handlers_.message && message->topic != nullptr) {
        const auto* bytes = static_cast<const char*>(message->payload);
        client.handlers_.message(
            message->topic,
            bytes == nullptr ? std::string()
                             : std::string(bytes, static_cast<std::size_t>(message->payloadlen)),
            message->retain);
    }
}

}  // namespace horalux::bridge
