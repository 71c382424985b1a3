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
    LineNames names;
    std::string port;  // as given, for the device's name
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

// The board's device config under `discoveryPrefix` ("homeassistant"): one retained message at
// DISCOVERY/device/ID/config holding the entities it has now as components, and each entity it
// might have but has not (a sensor switched off, a user field past its last) as its platform
// alone, which removes it, so a change of shape takes away what is gone.
Message deviceConfig(const BoardDevice& device, const BoardShape& shape,
                     const std::string& discoveryPrefix);

// The empty config that removes the device `id` and its entities.
Message deviceRemoval(const std::string& id, const std::string& discoveryPrefix);

// Empty configs for every entity that bridges before device discovery published for the device
// `earlierId` (one config per entity): its entities go.
std::vector<Message> earlierConfigRemovals(const std::string& earlierId,
                                           const std::string& discoveryPrefix);

}  // namespace horalux::bridge
