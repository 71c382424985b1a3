#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "BridgeNames.h"
#include "link/exchange/BoardState.h"

namespace horalux::bridge {

// A retained message: topic and payload.
struct Message {
    std::string topic;
    std::string payload;
    bool operator==(const Message&) const = default;
};

// One board as a discovery device.
struct BoardDevice {
    std::string prefix;  // the bridge's topic root
    std::string port;
    std::uint8_t address = 0;
    std::string version;  // the program's
};

// The entities a board has now: its sensor fields that are on, and its user fields' digits.
struct BoardShape {
    std::array<bool, 3> temperatures{};
    bool pressure = false, humidity = false, radiation = false;
    std::vector<std::uint8_t> fieldDigits;
    bool operator==(const BoardShape&) const = default;
};

BoardShape boardShapeOf(const link::BoardData& data);
// The shape with no sensors: a board whose readings never reach the bridge.
BoardShape withoutReadings(BoardShape shape);

// The discovery configs of the board under `discoveryPrefix` ("homeassistant"): one per entity
// it has, and an empty one for each entity it might have but has not (a sensor switched off, a
// user field past its last), so a change of shape removes what is gone.
std::vector<Message> discoveryMessages(const BoardDevice& device, const BoardShape& shape,
                                       const std::string& discoveryPrefix);

// Empty configs for every entity a board can have: it disappears.
std::vector<Message> removalMessages(const BoardDevice& device, const std::string& discoveryPrefix);

}  // namespace horalux::bridge
