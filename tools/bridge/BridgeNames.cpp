#include "BridgeNames.h"

#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace horalux::bridge {
namespace {

bool isIdChar(char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) != 0 || ch == '-' || ch == '_';
}

std::string_view withoutDeviceFolder(std::string_view port) {
    for (const std::string_view head : {"/dev/", "\\\\.\\"}) {
        if (port.substr(0, head.size()) == head) {
            port.remove_prefix(head.size());
        }
    }
    return port;
}

// The old rule, kept for the ids of earlier bridges: every other character "_".
std::string plainSafeName(std::string_view port) {
    std::string name;
    for (const char ch : withoutDeviceFolder(port)) {
        name += isIdChar(ch) ? ch : '_';
    }
    return name.empty() ? std::string("port") : name;
}

std::string fnvHex(std::string_view text) {
    std::uint32_t hash = 2166136261U;
    for (const char ch : text) {
        hash = (hash ^ static_cast<unsigned char>(ch)) * 16777619U;
    }
    std::array<char, 9> hex{};
    std::snprintf(hex.data(), hex.size(), "%08x", hash);
    return hex.data();
}

}  // namespace

std::string topicSafeLineName(std::string_view port) {
    const std::string_view name = withoutDeviceFolder(port);
    bool lossy = false;
    for (const char ch : name) {
        lossy = lossy || (!isIdChar(ch) && ch != '/');
    }
    std::string safe = plainSafeName(port);
    return lossy ? safe + "_" + fnvHex(port).substr(0, 6) : safe;
}

std::string stableLineName(const std::string& port, const std::string& byIdFolder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Network ports ("tcp://...") and Windows names have no such link.
    if (port.empty() || port.front() != '/' || port.rfind(byIdFolder + "/", 0) == 0) {
        return port;
    }
    const fs::path device = fs::canonical(port, ec);
    if (ec) {
        return port;
    }
    for (fs::directory_iterator it(byIdFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkEc;
        if (fs::canonical(it->path(), linkEc) == device && !linkEc) {
            return it->path().string();
        }
    }
    return port;
}

bool isNodeId(std::string_view node) {
    constexpr std::size_t kLongest = 64;
    if (node.empty() || node.size() > kLongest) {
        return false;
    }
    for (const char ch : node) {
        if (!isIdChar(ch)) {
            return false;
        }
    }
    return true;
}

std::string defaultNodeId() {
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) != 0 || host[0] == '\0') {
        return "horalux";
    }
    std::string node;
    for (const char* p = host.data(); *p != '\0' && node.size() < 64; ++p) {
        node += isIdChar(*p) ? *p : '_';
    }
    return node;
}

std::string BoardTopics::state(std::string_view entity) const {
    return base + "/" + std::string(entity);
}

std::string BoardTopics::command(std::string_view entity) const {
    return state(entity) + "/set";
}

std::string LineNames::clientId() const {
    return "horalux_" + node + "_" + line;
}

std::string LineNames::statusTopic() const {
    return prefix + "/" + node + "/" + line + "/status";
}

std::string LineNames::commandPattern() const {
    return prefix + "/" + node + "/" + line + "/+/+/set";
}

std::string LineNames::deviceId(std::uint8_t address) const {
    return clientId() + "_" + std::to_string(address);
}

BoardTopics LineNames::board(std::uint8_t address) const {
    return {prefix + "/" + node + "/" + line + "/" + std::to_string(address)};
}

LineNames lineNames(std::string_view prefix, std::string_view node, std::string_view port) {
    return {std::string(prefix), std::string(node), topicSafeLineName(port)};
}

std::string earlierDeviceId(std::string_view port, std::uint8_t address) {
    return "horalux_" + plainSafeName(port) + "_" + std::to_string(address);
}

std::string userFieldEntity(std::size_t index) {
    return "field_" + std::to_string(index);
}

}  // namespace horalux::bridge
