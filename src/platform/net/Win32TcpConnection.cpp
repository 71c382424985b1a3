#include "platform/Win32Winsock.h"

#include <mstcpip.h>

#include <algorithm>
#include <climits>

#include "platform/Tick.h"
#include "platform/Win32ErrorText.h"
#include "platform/net/HostLookup.h"
#include "platform/net/TcpConnection.h"

namespace horalux::platform {
namespace {

// Keep-alive: first probe after 5 s of silence, then every 2 s (the system sends ten).
constexpr ULONG kKeepIdleMs = 5000;
constexpr ULONG kKeepIntervalMs = 2000;
// While frames go out unacknowledged, how long the system retries before it gives the
// connection up.
constexpr DWORD kUnacknowledgedS = 11;

bool isBrokenConnection(int error) {
    return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAETIMEDOUT ||
           error == WSAENOTCONN || error == WSAEHOSTUNREACH || error == WSAENETUNREACH ||
           error == WSAENETRESET || error == WSAESHUTDOWN;
}

std::string connectFailureText(int error) {
    switch (error) {
        case WSAECONNREFUSED:
            return "connection refused";
        case WSAETIMEDOUT:
            return "timed out";
        default:
            return win32ErrorText(static_cast<DWORD>(error));
    }
}

void tune(SOCKET s) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive keepAlive{1, kKeepIdleMs, kKeepIntervalMs};
    DWORD returned = 0;
    WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr,
             nullptr);
#ifdef TCP_MAXRT
    const DWORD maxRetransmit = kUnacknowledgedS;
    setsockopt(s, IPPROTO_TCP, TCP_MAXRT, reinterpret_cast<const char*>(&maxRetransmit),
               sizeof maxRetransmit);
#else
    (void)kUnacknowledgedS;
#endif
}

// Connects one non-blocking socket within `leftMs`; 0 when connected, else the Winsock error.
int connectOne(SOCKET s, const addrinfo& entry, std::int64_t leftMs) {
    if (::connect(s, entry.ai_addr, static_cast<int>(entry.ai_addrlen)) == 0) {
        return 0;
    }
    const int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
        return error;
    }
    // select, not WSAPoll: before Windows 10 2004 WSAPoll never reported a refused connection
    // and the wait ran to its end; select reports it in the exception set.
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    const std::int64_t waitMs = std::min<std::int64_t>(leftMs, INT_MAX);
    timeval wait{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000 * 1000)};
    const int ready = select(0, nullptr, &writable, &failed, &wait);
    if (ready == 0) {
        return WSAETIMEDOUT;
    }
    if (ready == SOCKET_ERROR) {
        return WSAGetLastError();
    }
    int failure = 0;
    int length = sizeof failure;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &length) != 0) {
        return WSAGetLastError();
    }
    return failure;
}

}  // namespace

std::unique_ptr<TcpConnection> TcpConnection::connect(const NetAddress& address,
                                                      std::uint32_t timeoutMs, std::string& cause) {
    if (!winsockReady()) {
        cause = "no network (Winsock did not start)";
        return nullptr;
    }
    // The lookup and the connection share the time allowed.
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    const AddrInfoList found = lookUpHost(address, timeoutMs, cause);
    if (!found) {
        return nullptr;
    }
    int error = WSAETIMEDOUT;
    SOCKET s = INVALID_SOCKET;
    for (const addrinfo* entry = found.get(); entry != nullptr; entry = entry->ai_next) {
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            error = WSAETIMEDOUT;
            break;
        }
        s = ::socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol);
        if (s == INVALID_SOCKET) {
            error = WSAGetLastError();
            continue;
        }
        u_long nonBlocking = 1;
        ioctlsocket(s, static_cast<long>(FIONBIO), &nonBlocking);
        error = connectOne(s, *entry, left);
        if (error == 0) {
            break;
        }
        closesocket(s);
        s = INVALID_SOCKET;
    }
    if (s == INVALID_SOCKET) {
        cause = connectFailureText(error);
        return nullptr;
    }
    tune(s);
    return std::unique_ptr<TcpConnection>(new TcpConnection(s));
}

TcpConnection::~TcpConnection() {
    close();
}

NetResult TcpConnection::receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) {
    NetResult result;
    if (fd_ == kNoSocket) {
        result.status = NetStatus::Failed;
        return result;
    }
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    const int capacity = static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX));
    for (;;) {
        const int got = ::recv(fd_, reinterpret_cast<char*>(buffer.data()), capacity, 0);
        if (got > 0) {
            result.count = static_cast<std::size_t>(got);
            return result;
        }
        if (got == 0 && !buffer.empty()) {
            result.status = NetStatus::Closed;
            return result;
        }
        if (got == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK && error != WSAEINTR) {
                result.status = isBrokenConnection(error) ? NetStatus::Closed : NetStatus::Failed;
                return result;
            }
        }
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            return result;
        }
        WSAPOLLFD waiter{fd_, POLLRDNORM, 0};
        const int ready =
            WSAPoll(&waiter, 1, static_cast<INT>(std::min<std::int64_t>(left, INT_MAX)));
        if (ready == SOCKET_ERROR) {
            result.status = NetStatus::Failed;
            return result;
        }
        if (ready == 0) {
            return result;
        }
    }
}

NetResult TcpConnection::sendAll(std::span<const std::uint8_t> bytes, std::uint32_t stallMs) {
    NetResult result;
    const std::int64_t deadline = monotonicMs() + stallMs;
    while (fd_ != kNoSocket && result.count < bytes.size()) {
        const int chunk =
            static_cast<int>(std::min<std::size_t>(bytes.size() - result.count, INT_MAX));
        const int put =
            ::send(fd_, reinterpret_cast<const char*>(bytes.data() + result.count), chunk, 0);
        if (put > 0) {
            result.count += static_cast<std::size_t>(put);
            continue;
        }
        const int error = put == SOCKET_ERROR ? WSAGetLastError() : 0;
        if (error == WSAEWOULDBLOCK) {
            const std::int64_t left = std::max<std::int64_t>(0, deadline - monotonicMs());
            WSAPOLLFD waiter{fd_, POLLWRNORM, 0};
            const int ready =
                WSAPoll(&waiter, 1, static_cast<INT>(std::min<std::int64_t>(left, INT_MAX)));
            if (ready > 0 && (waiter.revents & POLLWRNORM) != 0) {
                continue;
            }
            if (ready == 0) {
                result.status = NetStatus::Stalled;
                return result;
            }
        }
        result.status = isBrokenConnection(error) ? NetStatus::Closed : NetStatus::Failed;
        return result;
    }
    if (fd_ == kNoSocket) {
        result.status = NetStatus::Failed;
    }
    return result;
}

void TcpConnection::close() {
    if (fd_ != kNoSocket) {
        closesocket(fd_);
        fd_ = kNoSocket;
    }
}

}  // namespace horalux::platform
