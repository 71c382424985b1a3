#include "BridgeNames.h"

#include <cctype>

namespace horalux::bridge {

std::string topicSafeLineName(std::string_view port) {
    for (const std::string_view head : {"/dev/", "\\\\.\\"}) {
        if (port.substr(0, head.size()) == head) {
            port.remove_prefix(head.size());
        }
    }
    std::string name;
    for (const char ch : port) {
        const bool kept =
            std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '-' || ch == '_';
        name += kept ? ch : '_';
    }
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
