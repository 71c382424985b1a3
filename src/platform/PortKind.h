#pragma once

#include <string>
#include <string_view>

namespace horalux::platform {

// What a port name asks for. Everything above the opener and the port list goes by the name
// alone; only these two look at the kind.
enum class PortKind {
    Device,   // a local serial device: a name in /dev (ttyUSB0) or a path
    Tcp,      // "tcp://host:port": the line's bytes over a TCP connection
    Rfc2217,  // "rfc2217://host:port": a device server's serial line, set up over the connection
};

inline constexpr std::string_view kTcpPrefix = "tcp://";
inline constexpr std::string_view kRfc2217Prefix = "rfc2217://";

// The kind by the name's prefix (in any case, as schemes go); any other name is a local device.
PortKind portKindOf(std::string_view name);

// Whether a port no enumeration lists can still be offered by its name: a local device that
// exists (a pseudo-terminal, a link), or a well-formed network address (whether its server
// answers shows only when it is opened).
bool unlistedPortExists(const std::string& name);

}  // namespace horalux::platform
