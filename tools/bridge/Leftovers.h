#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "BridgeNames.h"

namespace horalux::bridge {

// What a retained discovery config the broker holds is to this bridge: a board of its line or of
// another line of its node that is bridged no more, or the one-config-per-entity form of earlier
// bridges. Configs of other nodes and of the boards bridged now are none of its business.
struct Leftover {
    enum Kind {
        None,
        EarlierConfigs,  // entity configs of `id`, an earlier bridge's device of this line
        Board,           // the device `id` of this line, `address` not bridged now
        OtherLine,       // the device `id` of another line of this node, its status `statusTopic`
    } kind = None;
    std::string id;
    std::uint8_t address = 0;
    std::string statusTopic;
    bool operator==(const Leftover&) const = default;
};

struct LineSeen {
    const LineNames& names;
    std::string port;  // the line as given, for the earlier ids
    std::string discoveryPrefix;
    std::span<const std::uint8_t> addresses;  // bridged now
};

Leftover leftoverOf(const LineSeen& line, const std::string& topic, const std::string& payload);

// The topics the bridge subscribes to for them: the earlier bridges' main-text configs (every
// board had that entity) and the device configs.
std::string earlierConfigPattern(const std::string& discoveryPrefix);
std::string deviceConfigPattern(const std::string& discoveryPrefix);

}  // namespace horalux::bridge
