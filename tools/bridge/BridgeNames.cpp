#include "BridgeNames.h"

#include "platform/PortNameText.h"

namespace horalux::bridge {

std::string topicSafeLineName(std::string_view port) {
    std::string name = platform::safePortWord(port);
    return name.empty() ? std::string("port") : name;
}

std::string deviceId(std::string_view port, std::uint8_t address) {
    return "horalux_" + topicSafeLineName(port) + "_" + std::to_string(address);
}

std::string BoardTopics::state(std::string_view entity) const {
    return base + "/" + std::string(entity);
}

std::string BoardTopics::command(std::string_view entity) const {
    return state(entity) + "/set";
}

BoardTopics boardTopics(std::string_view prefix, std::string_view port, std::uint8_t address) {
    return {std::string(prefix) + "/" + topicSafeLineName(port) + "/" + std::to_string(address)};
}

std::string bridgeStatusTopic(std::string_view prefix, std::string_view port) {
    return std::string(prefix) + "/" + topicSafeLineName(port) + "/status";
}

std::string userFieldEntity(std::size_t index) {
    return "field_" + std::to_string(index);
}

}  // namespace horalux::bridge
