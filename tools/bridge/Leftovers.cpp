#include "Leftovers.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>
#include <optional>

namespace horalux::bridge {
namespace {

// The address `text` ends in after `head`, when it is one.
std::optional<std::uint8_t> addressAfter(const std::string& head, std::string_view text) {
    if (!text.starts_with(head)) {
        return std::nullopt;
    }
    text.remove_prefix(head.size());
    unsigned address = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), address);
    if (ec != std::errc{} || end != text.data() + text.size() || address > 254 || text.empty() ||
        std::to_string(address) != text) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(address);
}

// The level between `head` and `tail`, when the topic is made so.
std::optional<std::string> levelBetween(const std::string& topic, const std::string& head,
                                        const std::string& tail) {
    if (topic.size() <= head.size() + tail.size() || !topic.starts_with(head) ||
        !topic.ends_with(tail)) {
        return std::nullopt;
    }
    std::string level = topic.substr(head.size(), topic.size() - head.size() - tail.size());
    if (level.find('/') != std::string::npos) {
        return std::nullopt;
    }
    return level;
}

// The first availability topic of a device config: the status of the line that published it.
std::string statusTopicOf(const std::string& payload) {
    const nlohmann::json config = nlohmann::json::parse(payload, nullptr, false);
    if (!config.is_object()) {
        return {};
    }
    for (const char* key : {"availability", "avty"}) {
        const auto it = config.find(key);
        if (it != config.end() && it->is_array() && !it->empty() && (*it)[0].is_object()) {
            const nlohmann::json& first = (*it)[0];
            for (const char* topicKey : {"topic", "t"}) {
                if (first.contains(topicKey) && first[topicKey].is_string()) {
                    return first[topicKey].get<std::string>();
                }
            }
        }
    }
    return {};
}

}  // namespace

std::string earlierConfigPattern(const std::string& discoveryPrefix) {
    return discoveryPrefix + "/sensor/+/main_text/config";
}

std::string deviceConfigPattern(const std::string& discoveryPrefix) {
    return discoveryPrefix + "/device/+/config";
}

Leftover leftoverOf(const LineSeen& line, const std::string& topic, const std::string& payload) {
    // An empty config is a removal already.
    if (payload.empty()) {
        return {};
    }
    const auto bridged = [&](std::uint8_t address) {
        return std::find(line.addresses.begin(), line.addresses.end(), address) !=
               line.addresses.end();
    };
    if (const auto id =
            levelBetween(topic, line.discoveryPrefix + "/sensor/", "/main_text/config")) {
        const std::string earlier = earlierDeviceId(line.port, 0);
        if (addressAfter(earlier.substr(0, earlier.size() - 1), *id)) {
            return {Leftover::EarlierConfigs, *id, 0, {}};
        }
        return {};
    }
    const auto id = levelBetween(topic, line.discoveryPrefix + "/device/", "/config");
    if (!id || !id->starts_with("horalux_" + line.names.node + "_")) {
        return {};
    }
    const std::string status = statusTopicOf(payload);
    if (status == line.names.statusTopic()) {
        const auto address = addressAfter(line.names.clientId() + "_", *id);
        if (address && !bridged(*address)) {
            return {Leftover::Board, *id, *address, {}};
        }
        return {};
    }
    // Another line of this node: its status says whether its bridge still runs.
    const std::string nodeHead = line.names.prefix + "/" + line.names.node + "/";
    if (status.starts_with(nodeHead) && status.ends_with("/status")) {
        return {Leftover::OtherLine, *id, 0, status};
    }
    return {};
}

}  // namespace horalux::bridge
