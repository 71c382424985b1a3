#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "MqttClient.h"

namespace horalux::bridge {

// What the MQTT client's thread hands to the main side; the session is touched there only.
class BrokerInbox {
  public:
    struct Event {
        enum Kind { Connected, Problem, Message } kind;
        std::string text;  // the problem, or the message's topic
        std::string payload;
        bool retained = false;
    };
    MqttClient::Handlers handlers();
    // What came since the last call, in order; `dropped` the messages left out since.
    std::vector<Event> take(std::size_t& dropped);

  private:
    static constexpr std::size_t kMostHeldNews = 1000;

    std::mutex mutex_;
    std::vector<Event> news_;
    std::size_t dropped_ = 0;
};

}  // namespace horalux::bridge
