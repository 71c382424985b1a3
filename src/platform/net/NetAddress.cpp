#include "platform/net/NetAddress.h"

#include <algorithm>
#include <cctype>

#include "platform/PortKind.h"

namespace horalux::platform {

std::optional<NetAddress> parseNetAddress(std::string_view name) {
    // Whatever the kind, its scheme is followed by HOST:PORT; a name without one is a device.
    const std::string_view prefix = portKindOf(name).prefix;
    if (prefix.empty()) {
        return std::nullopt;
    }
    name.remove_prefix(prefix.size());
    NetAddress address;
    std::string_view rest;
    if (name.starts_with('[')) {
        const std::size_t close = name.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        address.host = std::string(name.substr(1, close - 1));
        rest = name.substr(close + 1);
    } else {
        const std::size_t colon = name.rfind(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        address.host = std::string(name.substr(0, colon));
        rest = name.substr(colon);
        // A bare IPv6 address would split at its last colon: it must come in brackets.
        if (address.host.find(':') != std::string::npos) {
            return std::nullopt;
        }
    }
    if (address.host.empty() || !rest.starts_with(':') || rest.size() < 2 || rest.size() > 6) {
        return std::nullopt;
    }
    rest.remove_prefix(1);
    if (!std::all_of(rest.begin(), rest.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
        return std::nullopt;
    }
    const unsigned long port = std::stoul(std::string(rest));
    if (port == 0 || port > 65535) {
        return std::nullopt;
    }
    address.port = static_cast<std::uint16_t>(port);
    return address;
}

bool isReservedInvalidName(std::string host) {
    if (!host.empty() && host.back() == '.') {
        host.pop_back();
    }
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    constexpr std::string_view kTld = "invalid";
    if (host == kTld) {
        return true;
    }
    return host.size() > kTld.size() && host.ends_with(kTld) &&
           host[host.size() - kTld.size() - 1] == '.';
}

}  // namespace horalux::platform
