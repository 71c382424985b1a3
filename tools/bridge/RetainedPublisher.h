#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Discovery.h"
#include "platform/Tick.h"

namespace horalux::bridge {

// Decides what goes to the broker: per topic only a change of its value, and at most once a
// second. A value held back by the second goes out when the second is over, the latest one
// winning; a value changed and changed back within the second sends nothing.
class RetainedPublisher {
  public:
    static constexpr std::uint32_t kMinGapMs = 1000;

    explicit RetainedPublisher(platform::Tick& tick) : tick_(tick) {}

    // The topic's value now.
    void set(const std::string& topic, const std::string& payload);
    void set(const std::vector<Message>& messages);

    // What to publish now; each is taken as sent.
    std::vector<Message> due();

    // Milliseconds until a held value is due; absent when none is held.
    std::optional<std::uint32_t> nextDueInMs();

    // The broker was reconnected (it may have lost its retained messages): every topic's latest
    // value goes out anew at the next due(), the once-a-second rule aside.
    void reconnected();

  private:
    struct Slot {
        std::optional<std::string> sent;
        std::uint32_t sentAtMs = 0;
        std::optional<std::string> held;  // waiting for its second
    };

    platform::Tick& tick_;
    std::map<std::string, Slot> slots_;
};

}  // namespace horalux::bridge
