#include "LoopbackUdpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "support/LoopbackSockets.h"

namespace horalux::test {
namespace {

void sendTo(int fd, const std::vector<std::uint8_t>& to, std::span<const std::uint8_t> data) {
    sockaddr raw{};
    std::memcpy(&raw, to.data(), std::min(to.size(), sizeof raw));
    ::sendto(fd, data.data(), data.size(), 0, &raw, static_cast<socklen_t>(to.size()));
}

void writeTimestamp(std::vector<std::uint8_t>& packet, std::size_t offset,
                    const timesync::NtpTimestamp& t) {
    for (std::size_t i = 0; i < 4; ++i) {
        packet[offset + i] = static_cast<std::uint8_t>(t.seconds >> (24 - 8 * i));
        packet[offset + 4 + i] = static_cast<std::uint8_t>(t.fraction >> (24 - 8 * i));
    }
}

}  // namespace

LoopbackUdpServer::LoopbackUdpServer() {
    fd_ = boundLoopbackSocket(&port_);
}

LoopbackUdpServer::~LoopbackUdpServer() {
    finish();
    ::close(fd_);
}

bool LoopbackUdpServer::hasPendingDatagram() const {
    pollfd waiter{fd_, POLLIN, 0};
    return ::poll(&waiter, 1, 0) > 0;
}

void LoopbackUdpServer::serveOneRequest(Script script) {
    thread_ = std::thread([this, script = std::move(script)] {
        pollfd waiter{fd_, POLLIN, 0};
        if (::poll(&waiter, 1, 10000) <= 0) {
            return;
        }
        std::vector<std::uint8_t> buffer(1024);
        sockaddr raw{};
        socklen_t length = sizeof raw;
        const ssize_t got = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, &raw, &length);
        if (got < 0) {
            return;
        }
        buffer.resize(static_cast<std::size_t>(got));
        clientAddress_.assign(reinterpret_cast<const std::uint8_t*>(&raw),
                              reinterpret_cast<const std::uint8_t*>(&raw) + length);
        request_ = buffer;
        script(request_, *this);
    });
}

std::vector<std::uint8_t> LoopbackUdpServer::finish() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return request_;
}

void LoopbackUdpServer::reply(std::span<const std::uint8_t> datagram) {
    sendTo(fd_, clientAddress_, datagram);
}

void LoopbackUdpServer::replyFromOtherPort(std::span<const std::uint8_t> datagram) {
    std::uint16_t otherPort = 0;
    const int other = boundLoopbackSocket(&otherPort);
    sendTo(other, clientAddress_, datagram);
    ::close(other);
}

std::vector<std::uint8_t> makeSntpReply(std::span<const std::uint8_t> request,
                                        const timesync::NtpTimestamp& transmit, std::uint8_t header,
                                        std::uint8_t stratum) {
    std::vector<std::uint8_t> reply(timesync::kNtpPacketSize, 0);
    reply[0] = header;
    reply[1] = stratum;
    if (request.size() >= timesync::kNtpPacketSize) {
        std::copy_n(request.begin() + timesync::kNtpTransmitOffset, 8,
                    reply.begin() + timesync::kNtpOriginateOffset);
    }
    writeTimestamp(reply, timesync::kNtpReceiveOffset, transmit);
    writeTimestamp(reply, timesync::kNtpTransmitOffset, transmit);
    return reply;
}

}  // namespace horalux::test
