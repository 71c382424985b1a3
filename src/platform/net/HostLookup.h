#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

#include <cstdint>
#include <memory>
#include <string>

#include "platform/net/NetAddress.h"

namespace horalux::platform {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// The stream addresses of a host, looked up within `timeoutMs`: a resolver that does not answer
// must not hold the program (the connection dialog waits on this) for its own time-outs, which
// can run to half a minute. Empty on failure, with the cause in `cause`: "host not found" or
// "timed out".
AddrInfoList lookUpHost(const NetAddress& address, std::uint32_t timeoutMs, std::string& cause);

}  // namespace horalux::platform
