#include "BrokerInbox.h"

#include <utility>

namespace horalux::bridge {

MqttClient::Handlers BrokerInbox::handlers() {
    MqttClient::Handlers h;
    h.connected = [this] {
        const std::lock_guard lock(mutex_);
        news_.push_back({Event::Connected, {}, {}});
    };
    h.disconnected = [this](const std::string& why) {
        const std::lock_guard lock(mutex_);
        news_.push_back({Event::Problem, why, {}});
    };
    h.message = [this](const std::string& topic, const std::string& payload, bool retained) {
        const std::lock_guard lock(mutex_);
        // A flood of commands is not kept without end while the boards are busy.
        if (news_.size() >= kMostHeldNews) {
            ++dropped_;
            return;
        }
        news_.push_back({Event::Message, topic, payload, retained});
    };
    return h;
}

std::vector<BrokerInbox::Event> BrokerInbox::take(std::size_t& dropped) {
    const std::lock_guard lock(mutex_);
    dropped = std::exchange(dropped_, 0);
    return std::exchange(news_, {});
}

}  // namespace horalux::bridge
