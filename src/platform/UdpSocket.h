#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/NativeSocket.h"

namespace horalux::platform {

// An IPv4 address, octets in network order.
struct Ipv4Address {
    std::uint8_t octets[4] = {0, 0, 0, 0};
    friend bool operator==(const Ipv4Address&, const Ipv4Address&) = default;
};

enum class UdpStatus {
    Ok,        // a datagram was received (or sent)
    TimedOut,  // nothing arrived within the time-out
    Failed,    // the call failed; `error` holds errno (ECONNREFUSED when the peer port is closed)
};

struct UdpResult {
    UdpStatus status = UdpStatus::Ok;
    std::size_t size = 0;  // length of the datagram received, even when it did not fit
    int error = 0;
};

// A UDP socket connected to one peer: the system delivers only datagrams whose source is that
// address and port, so strangers on the network cannot answer in the peer's place.
class UdpSocket {
  public:
    // Empty when the socket cannot be created or connected; `error` (if given) receives errno.
    static std::unique_ptr<UdpSocket> connectTo(const Ipv4Address& address, std::uint16_t port,
                                                int* error = nullptr);
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Sends one datagram.
    UdpResult send(std::span<const std::uint8_t> datagram);
    // Waits up to timeoutMs for one datagram and copies at most buffer.size() bytes of it.
    UdpResult receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs);

  private:
    explicit UdpSocket(NativeSocket fd) : fd_(fd) {}
    NativeSocket fd_ = kNoSocket;
};

}  // namespace horalux::platform
