#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <thread>
#include <vector>

#include "timesync/NtpPacket.h"

namespace horalux::test {

// A UDP server of the test's own on 127.0.0.1 (ephemeral port) that answers one request from
// a thread with whatever datagrams the test scripts.
class LoopbackUdpServer {
  public:
    LoopbackUdpServer();
    ~LoopbackUdpServer();
    LoopbackUdpServer(const LoopbackUdpServer&) = delete;
    LoopbackUdpServer& operator=(const LoopbackUdpServer&) = delete;

    std::uint16_t port() const { return port_; }
    // Whether a datagram is waiting; loopback delivery is done when the sender's call returns.
    bool hasPendingDatagram() const;

    using Script =
        std::function<void(const std::vector<std::uint8_t>& request, LoopbackUdpServer&)>;
    // Waits (at most 10 s) in a thread for one request and runs `script` on it there.
    void serveOneRequest(Script script);
    // Joins the thread; returns the request received (empty when none came).
    std::vector<std::uint8_t> finish();

    // For scripts: answer the client from the server's port, or from a port of another socket.
    void reply(std::span<const std::uint8_t> datagram);
    void replyFromOtherPort(std::span<const std::uint8_t> datagram);

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::vector<std::uint8_t> clientAddress_;
    std::vector<std::uint8_t> request_;
    std::thread thread_;
};

// A reply to `request`: header byte, stratum, originate copied from the request's transmit
// timestamp, receive and transmit timestamps as given.
std::vector<std::uint8_t> makeSntpReply(std::span<const std::uint8_t> request,
                                        const timesync::NtpTimestamp& transmit,
                                        std::uint8_t header = 0x24, std::uint8_t stratum = 2);

}  // namespace horalux::test
