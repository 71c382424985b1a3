#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace horalux::bridge {

// The line name as one topic level and as part of an id: "/dev/" dropped, every character
// other than a letter, a digit, "-" and "_" made "_" (MQTT wildcards, level separators and the
// dots discovery ids do not take all go).
std::string topicSafeLineName(std::string_view port);

// The id of a board's device, stable across restarts: "horalux_ttyUSB0_77".
std::string deviceId(std::string_view port, std::uint8_t address);

// Where the board's entities are found. Entity keys name a value or a command, as
// "temperature_1" or "field_3".
struct BoardTopics {
    std::string base;  // PREFIX/LINE/ADDR
    std::string availability() const { return base + "/availability"; }
    std::string error() const { return base + "/error"; }
    std::string state(std::string_view entity) const;
    std::string command(std::string_view entity) const;
};

BoardTopics boardTopics(std::string_view prefix, std::string_view port, std::uint8_t address);

// The bridge's own status for a line, online or offline (the broker's last will).
std::string bridgeStatusTopic(std::string_view prefix, std::string_view port);

// The entity key of user field `index` (counted from 0, as the window counts them).
std::string userFieldEntity(std::size_t index);

}  // namespace horalux::bridge
