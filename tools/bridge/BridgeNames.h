#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace horalux::bridge {

// The line name as one topic level and as part of an id: "/dev/" dropped, every character
// other than a letter, a digit, "-" and "_" made "_" (MQTT wildcards, level separators and the
// dots discovery ids do not take all go). When more than the level separators had to go, a
// short hash of the whole name follows, so "run/a:b" and "run/a_b" stay two lines.
std::string topicSafeLineName(std::string_view port);

// The name the line is known by across restarts: the /dev/serial/by-id link (in `byIdFolder`)
// that leads to the same device as the path `port`, since ttyUSB numbers follow the order of
// plugging in; `port` itself when there is none.
std::string stableLineName(const std::string& port,
                           const std::string& byIdFolder = "/dev/serial/by-id");

// Whether a node id can go into topics and ids as it is: letters, digits, "-" and "_", 1 to 64.
bool isNodeId(std::string_view node);
// The host name made a node id (every other character "_"); "horalux" when there is none.
std::string defaultNodeId();

// Where the board's entities are found. Entity keys name a value or a command, as
// "temperature_1" or "field_3".
struct BoardTopics {
    std::string base;  // PREFIX/NODE/LINE/ADDR
    std::string availability() const { return base + "/availability"; }
    std::string error() const { return base + "/error"; }
    std::string state(std::string_view entity) const;
    std::string command(std::string_view entity) const;
};

// The names of one bridged line: its topics under the prefix and its ids at the broker and in
// Home Assistant. The node (a host's own id) is in all of them, so that two hosts whose lines
// have the same name, each on the same broker, never take each other's.
struct LineNames {
    std::string prefix;
    std::string node;  // a node id
    std::string line;  // topic-safe

    // "horalux_NODE_LINE": the MQTT client id.
    std::string clientId() const;
    // The bridge's own status for the line, online or offline (the broker's last will).
    std::string statusTopic() const;
    // Every command topic of the line's boards.
    std::string commandPattern() const;
    // The id of a board's device, stable across restarts: "horalux_NODE_LINE_77".
    std::string deviceId(std::uint8_t address) const;
    BoardTopics board(std::uint8_t address) const;
};

// `port` is the line's stable name (see stableLineName).
LineNames lineNames(std::string_view prefix, std::string_view node, std::string_view port);

// The device id of a board as bridges before the node id named it: "horalux_LINE_77".
std::string earlierDeviceId(std::string_view port, std::uint8_t address);

// The entity key of user field `index` (counted from 0, as the window counts them).
std::string userFieldEntity(std::size_t index);

}  // namespace horalux::bridge
