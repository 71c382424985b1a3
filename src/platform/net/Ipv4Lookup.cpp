#include "platform/UdpSocket.h"

#if defined(_WIN32)
#include "platform/Win32Winsock.h"
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstring>

#include "platform/net/NetAddress.h"

namespace horalux::platform {

std::optional<Ipv4Address> resolveIpv4(const std::string& host) {
    if (host.empty() || isReservedInvalidName(host)) {
        return std::nullopt;
    }
#if defined(_WIN32)
    if (!winsockReady()) {
        return std::nullopt;
    }
#endif
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    std::optional<Ipv4Address> result;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in in{};
            std::memcpy(&in, entry->ai_addr, sizeof in);
            Ipv4Address address;
            std::memcpy(address.octets, &in.sin_addr.s_addr, sizeof address.octets);
            result = address;
            break;
        }
    }
    freeaddrinfo(found);
    return result;
}

}  // namespace horalux::platform
