#include "platform/UdpSocket.h"

#include "platform/Tick.h"
#include "platform/net/NetAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>

namespace horalux::platform {

std::unique_ptr<UdpSocket> UdpSocket::connectTo(const Ipv4Address& address, std::uint16_t port,
                                                int* error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error != nullptr) {
            *error = errno;
        }
        return nullptr;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    std::memcpy(&peer.sin_addr.s_addr, address.octets, sizeof address.octets);
    sockaddr peerAddress{};
    static_assert(sizeof peer <= sizeof peerAddress);
    std::memcpy(&peerAddress, &peer, sizeof peer);
    if (::connect(fd, &peerAddress, sizeof peer) != 0) {
        if (error != nullptr) {
            *error = errno;
        }
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<UdpSocket>(new UdpSocket(fd));
}

UdpSocket::~UdpSocket() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

UdpResult UdpSocket::send(std::span<const std::uint8_t> datagram) {
    ssize_t sent = -1;
    do {
        sent = ::send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        return {UdpStatus::Failed, 0, errno};
    }
    return {UdpStatus::Ok, static_cast<std::size_t>(sent), 0};
}

UdpResult UdpSocket::receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) {
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const std::int64_t left = std::max<std::int64_t>(deadline - monotonicMs(), 0);
        pollfd waiter{fd_, POLLIN, 0};
        const int ready =
            ::poll(&waiter, 1, static_cast<int>(std::min<std::int64_t>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR) {
            return {UdpStatus::Failed, 0, errno};
        }
        if (ready == 0) {
            return {UdpStatus::TimedOut, 0, 0};
        }
        if (ready > 0) {
            // MSG_TRUNC reports the datagram's real length, so an oversized one is not taken
            // for a well-formed one of exactly the buffer's size.
            const ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
            if (got >= 0) {
                return {UdpStatus::Ok, static_cast<std::size_t>(got), 0};
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return {UdpStatus::Failed, 0, errno};
            }
        }
        // Interrupted, or woken for a datagram the system then dropped: wait out the rest.
    }
}

}  // namespace horalux::platform
