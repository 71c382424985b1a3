#pragma once

#include <functional>
#include <string>

namespace horalux::bridge {

// What the bridge needs of an MQTT client, so that its logic does not depend on one library.
// Every handler may run on the client's own thread: it hands its news on and returns.
class MqttClient {
  public:
    struct Handlers {
        // Connected (again): the subscriptions are to be made anew.
        std::function<void()> connected;
        // The broker refused the connection or it was lost; `why` names the cause. The client
        // tries again by itself, with pauses growing to a minute.
        std::function<void(const std::string& why)> disconnected;
        // `retained`: kept by the broker from before; on a subscription that keeps the flag
        // (MQTT 5), also a message published with retain now.
        std::function<void(const std::string& topic, const std::string& payload, bool retained)>
            message;
    };

    virtual ~MqttClient() = default;
    // Starts connecting (in the background); the reason when it cannot even start.
    virtual std::string start(const Handlers& handlers) = 0;
    // QoS 1. False when the message could not be queued (not connected).
    virtual bool publish(const std::string& topic, const std::string& payload, bool retain) = 0;
    // `keepRetainFlag`: messages published with retain while subscribed come with it too, where
    // the broker speaks MQTT 5 (with 3.1.1 only those kept from before do).
    virtual bool subscribe(const std::string& pattern, bool keepRetainFlag) = 0;
    // Called now and then from the owner's thread: starts again what the library gave up on
    // (a refusal under MQTT 5 ends its thread), once the pause is over.
    virtual void poll() = 0;
    // Disconnects cleanly (no last will), once what was published is through or 2 s have
    // passed, and stops the client's thread.
    virtual void stop() = 0;
};

}  // namespace horalux::bridge
