#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace horalux::platform {

// Where a network port connects: a host name, an IPv4 address or an IPv6 address (kept without
// its brackets), and a TCP port.
struct NetAddress {
    std::string host;
    std::uint16_t port = 0;
    friend bool operator==(const NetAddress&, const NetAddress&) = default;
};

// The address of a network port name, its kind's scheme and HOST:PORT (an IPv6 address in
// brackets, "rfc2217://[fd00::7]:4001"). Empty when the name has no scheme of a kind of port, no
// host, or no port in 1…65535.
std::optional<NetAddress> parseNetAddress(std::string_view name);

// RFC 6761: names under "invalid" never resolve, so there is nothing to ask the network.
bool isReservedInvalidName(std::string host);

}  // namespace horalux::platform
