#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "BrokerSettings.h"
#include "MqttClient.h"

struct mosquitto;
struct mosquitto_message;

namespace horalux::bridge {

// The MQTT client on libmosquitto, its network on the library's own thread: connecting,
// reconnecting with pauses growing from 1 s to 60 s, the last will, TLS with a CA file. MQTT 5
// first; a broker that refuses it is spoken to in 3.1.1 from then on.
class MosquittoClient final : public MqttClient {
  public:
    explicit MosquittoClient(const BrokerSettings& broker);
    ~MosquittoClient() override;
    MosquittoClient(const MosquittoClient&) = delete;
    MosquittoClient& operator=(const MosquittoClient&) = delete;

    std::string start(const Handlers& handlers) override;
    bool publish(const std::string& topic, const std::string& payload, bool retain) override;
    bool subscribe(const std::string& pattern, bool keepRetainFlag) override;
    void poll() override;
    void stop() override;

  private:
    // The library's thread ends: poll() starts it again after the pause.
    void giveUpFor();
    // A connection that could not even be started: told, with a TLS failure's cause.
    void connectFailed(int rc);
    static void onConnect(mosquitto* m, void* self, int rc);
    static void onDisconnect(mosquitto* m, void* self, int rc);
    static void onLog(mosquitto* m, void* self, int level, const char* text);
    static void onPublish(mosquitto* m, void* self, int mid);
    static void onMessage(mosquitto* m, void* self, const mosquitto_message* message);

    BrokerSettings broker_;
    Handlers handlers_;
    mosquitto* mosq_ = nullptr;
    bool started_ = false;
    bool refused_ = false;  // the client's thread only
    bool up_ = false;       // connected now; the client's thread only
    std::atomic<int> unacknowledged_{0};
    std::atomic<bool> v5_{true};
    // The library's thread ends after a refusal under MQTT 5: poll() starts it again then.
    std::atomic<bool> gaveUp_{false};
    std::atomic<bool> tlsTold_{false};  // this try's TLS failure
    std::atomic<unsigned> pauseS_{1};
    std::chrono::steady_clock::time_point againAt_;  // written before gaveUp_ is set
};

}  // namespace horalux::bridge
