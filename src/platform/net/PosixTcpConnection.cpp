#include "platform/net/TcpConnection.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Tick.h"
#include "platform/net/HostLookup.h"

namespace horalux::platform {
namespace {

// Keep-alive: first probe after 5 s of silence, then every 2 s; three unanswered end it.
constexpr int kKeepIdleS = 5;
constexpr int kKeepIntervalS = 2;
constexpr int kKeepCount = 3;
// Keep-alive probes wait for a quiet line; while frames go out unacknowledged, this bounds how
// long the system retries before it gives the connection up (by default a quarter of an hour).
constexpr unsigned kUnacknowledgedMs = 11000;

bool isBrokenConnection(int error) {
    return error == ECONNRESET || error == EPIPE || error == ETIMEDOUT || error == ENOTCONN ||
           error == EHOSTUNREACH || error == ENETUNREACH || error == ECONNABORTED;
}

std::string connectFailureText(int error) {
    switch (error) {
        case ECONNREFUSED:
            return "connection refused";
        case ETIMEDOUT:
            return "timed out";
        case EINTR:
            return "interrupted";
        default:
            return std::strerror(error);
    }
}

void tune(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnacknowledgedMs, sizeof kUnacknowledgedMs);
}

// Connects one non-blocking socket within `leftMs`; 0 when connected, else the error.
int connectOne(int fd, const addrinfo& entry, std::int64_t leftMs) {
    if (::connect(fd, entry.ai_addr, entry.ai_addrlen) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS) {
        return errno;
    }
    // A signal (Ctrl+C) ends the wait: the program is being stopped.
    pollfd pfd{fd, POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(leftMs));
    if (ready <= 0) {
        return ready == 0 ? ETIMEDOUT : errno;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return errno;
    }
    return error;
}

}  // namespace

std::unique_ptr<TcpConnection> TcpConnection::connect(const NetAddress& address,
                                                      std::uint32_t timeoutMs, std::string& cause) {
    // The lookup and the connection share the time allowed.
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    const AddrInfoList found = lookUpHost(address, timeoutMs, cause);
    if (!found) {
        return nullptr;
    }
    int error = ETIMEDOUT;
    int fd = -1;
    for (const addrinfo* entry = found.get(); entry != nullptr; entry = entry->ai_next) {
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            error = ETIMEDOUT;
            break;
        }
        fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                      entry->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        error = connectOne(fd, *entry, left);
        if (error == 0 || error == EINTR) {
            break;
        }
        ::close(fd);
        fd = -1;
    }
    if (error == EINTR) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        cause = connectFailureText(error);
        return nullptr;
    }
    tune(fd);
    return std::unique_ptr<TcpConnection>(new TcpConnection(fd));
}

TcpConnection::~TcpConnection() {
    close();
}

NetResult TcpConnection::receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) {
    NetResult result;
    if (fd_ < 0) {
        result.status = NetStatus::Failed;
        return result;
    }
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0) {
            result.count = static_cast<std::size_t>(got);
            return result;
        }
        if (got == 0 && !buffer.empty()) {
            result.status = NetStatus::Closed;
            return result;
        }
        if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            result.status = isBrokenConnection(errno) ? NetStatus::Closed : NetStatus::Failed;
            return result;
        }
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            return result;
        }
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left));
        if (ready < 0) {
            result.interrupted = errno == EINTR;
            result.status = result.interrupted ? NetStatus::Ok : NetStatus::Failed;
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
    while (fd_ >= 0 && result.count < bytes.size()) {
        const ssize_t put = ::send(fd_, bytes.data() + result.count, bytes.size() - result.count,
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put > 0) {
            result.count += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const std::int64_t left = std::max<std::int64_t>(0, deadline - monotonicMs());
            pollfd pfd{fd_, POLLOUT, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(left));
            if ((ready > 0 && (pfd.revents & POLLOUT) != 0) || (ready < 0 && errno == EINTR)) {
                continue;
            }
            if (ready == 0) {
                result.status = NetStatus::Stalled;
                return result;
            }
        }
        result.status =
            put < 0 && isBrokenConnection(errno) ? NetStatus::Closed : NetStatus::Failed;
        return result;
    }
    if (fd_ < 0) {
        result.status = NetStatus::Failed;
    }
    return result;
}

void TcpConnection::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace horalux::platform
