#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/net/NetAddress.h"

namespace horalux::platform {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// Finds a host's addresses as getaddrinfo does: 0 with a list (freed by freeaddrinfo), or an
// EAI_ code. Tests put in one that never answers.
using HostResolver = std::function<int(const std::string& host, const std::string& service,
                                       const addrinfo& hints, addrinfo** found)>;

// The system's resolver, getaddrinfo.
int systemResolver(const std::string& host, const std::string& service, const addrinfo& hints,
                   addrinfo** found);

// The stream addresses of a host, looked up within `timeoutMs`: a resolver that does not answer
// must not hold the program (the connection dialog waits on this) for its own time-outs, which
// can run to half a minute. On POSIX a signal (Ctrl+C) ends the wait at once, as it ends a
// connect. Empty on failure, with the cause in `cause`: "host not found", "timed out" or
// "interrupted".
AddrInfoList lookUpHost(const NetAddress& address, std::uint32_t timeoutMs, std::string& cause,
                        const HostResolver& resolver = systemResolver);

}  // namespace horalux::platform
