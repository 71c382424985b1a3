#include "platform/Win32Winsock.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/Tick.h"
#include "platform/UdpSocket.h"
#include "platform/net/NetAddress.h"

namespace horalux::platform {

std::unique_ptr<UdpSocket> UdpSocket::connectTo(const Ipv4Address& address, std::uint16_t port,
                                                int* error) {
    auto fail = [&](int code) {
        if (error != nullptr) {
            *error = code;
        }
        return nullptr;
    };
    if (!winsockReady()) {
        return fail(ENETDOWN);
    }
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        return fail(errnoOfWinsock(WSAGetLastError()));
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    std::memcpy(&peer.sin_addr.s_addr, address.octets, sizeof address.octets);
    sockaddr peerAddress{};
    static_assert(sizeof peer <= sizeof peerAddress);
    std::memcpy(&peerAddress, &peer, sizeof peer);
    if (::connect(s, &peerAddress, sizeof peer) != 0) {
        const int code = errnoOfWinsock(WSAGetLastError());
        closesocket(s);
        return fail(code);
    }
    return std::unique_ptr<UdpSocket>(new UdpSocket(s));
}

UdpSocket::~UdpSocket() {
    if (fd_ != kNoSocket) {
        closesocket(fd_);
    }
}

UdpResult UdpSocket::send(std::span<const std::uint8_t> datagram) {
    const int sent = ::send(fd_, reinterpret_cast<const char*>(datagram.data()),
                            static_cast<int>(std::min<std::size_t>(datagram.size(), INT_MAX)), 0);
    if (sent == SOCKET_ERROR) {
        return {UdpStatus::Failed, 0, errnoOfWinsock(WSAGetLastError())};
    }
    return {UdpStatus::Ok, static_cast<std::size_t>(sent), 0};
}

UdpResult UdpSocket::receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) {
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const std::int64_t left = std::max<std::int64_t>(deadline - monotonicMs(), 0);
        WSAPOLLFD waiter{fd_, POLLRDNORM, 0};
        const int ready =
            WSAPoll(&waiter, 1, static_cast<INT>(std::min<std::int64_t>(left, INT_MAX)));
        if (ready == SOCKET_ERROR) {
            return {UdpStatus::Failed, 0, errnoOfWinsock(WSAGetLastError())};
        }
        if (ready == 0) {
            return {UdpStatus::TimedOut, 0, 0};
        }
        const int got = ::recv(fd_, reinterpret_cast<char*>(buffer.data()),
                               static_cast<int>(std::min<std::size_t>(buffer.size(), INT_MAX)), 0);
        if (got >= 0) {
            return {UdpStatus::Ok, static_cast<std::size_t>(got), 0};
        }
        const int code = WSAGetLastError();
        // Winsock cuts an oversized datagram to the buffer and says so: it is reported longer
        // than the buffer, so it is not taken for a well-formed one of exactly that size.
        if (code == WSAEMSGSIZE) {
            return {UdpStatus::Ok, buffer.size() + 1, 0};
        }
        if (code != WSAEWOULDBLOCK && code != WSAEINTR) {
            return {UdpStatus::Failed, 0, errnoOfWinsock(code)};
        }
    }
}

}  // namespace horalux::platform
