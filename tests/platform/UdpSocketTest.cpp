#include "platform/UdpSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "support/LoopbackSockets.h"

namespace horalux::platform {
namespace {

constexpr Ipv4Address kLoopback{{127, 0, 0, 1}};

// A socket bound to an ephemeral port on 127.0.0.1 that echoes nothing by itself.
struct BoundSocket {
    std::uint16_t port = 0;
    int fd = test::boundLoopbackSocket(&port);

    ~BoundSocket() { close(); }
    void close() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    // Receives one datagram and sends `answer` back to its sender.
    void answer(const std::vector<std::uint8_t>& answerBytes) {
        std::array<std::uint8_t, 256> buffer{};
        sockaddr from{};
        socklen_t length = sizeof from;
        ::recvfrom(fd, buffer.data(), buffer.size(), 0, &from, &length);
        ::sendto(fd, answerBytes.data(), answerBytes.size(), 0, &from, length);
    }
};

TEST(UdpSocket, ExchangesDatagramsWithItsPeerAndReportsTheirRealLength) {
    BoundSocket peer;
    const auto socket = UdpSocket::connectTo(kLoopback, peer.port);
    ASSERT_TRUE(socket);
    const std::array<std::uint8_t, 3> hello{1, 2, 3};
    EXPECT_EQ(socket->send(hello).status, UdpStatus::Ok);
    peer.answer(std::vector<std::uint8_t>(60, 0x5A));

    std::array<std::uint8_t, 48> buffer{};
    const UdpResult got = socket->receive(buffer, 5000);
    EXPECT_EQ(got.status, UdpStatus::Ok);
    EXPECT_EQ(got.size, 60U);  // larger than the buffer: not mistaken for a 48-byte datagram
    EXPECT_EQ(buffer[47], 0x5A);

    EXPECT_EQ(socket->receive(buffer, 0).status, UdpStatus::TimedOut);
}

TEST(UdpSocket, ClosedPeerPortFailsTheReceiveInsteadOfWaiting) {
    BoundSocket peer;
    const std::uint16_t port = peer.port;
    peer.close();
    const auto socket = UdpSocket::connectTo(kLoopback, port);
    ASSERT_TRUE(socket);
    const std::array<std::uint8_t, 1> probe{0};
    socket->send(probe);
    std::array<std::uint8_t, 48> buffer{};
    const UdpResult got = socket->receive(buffer, 10000);
    EXPECT_EQ(got.status, UdpStatus::Failed);
    EXPECT_EQ(got.error, ECONNREFUSED);
}

}  // namespace
}  // namespace horalux::platform
