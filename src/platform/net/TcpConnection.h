#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/NativeSocket.h"

#include "platform/net/NetAddress.h"

namespace horalux::platform {

enum class NetStatus {
    Ok,       // bytes moved (a receive of 0 bytes: nothing came within the time-out)
    Closed,   // the peer closed or reset the connection, or it broke
    Failed,   // the call failed otherwise
    Stalled,  // a send found no room for the time allowed: the peer has stopped reading
};

struct NetResult {
    std::size_t count = 0;
    NetStatus status = NetStatus::Ok;
    bool interrupted = false;  // a signal cut the wait short (Ctrl+C, say)
};

// One TCP connection with no Nagle delay (a frame goes out at once) and keep-alive probes (a
// peer that vanished without a word is noticed within seconds).
class TcpConnection {
  public:
    // Connects to the first of the host's addresses that accepts within `timeoutMs` in all.
    // Empty on failure, with the cause in `cause`: "host not found", "connection refused",
    // "timed out", "interrupted" (a signal came) or the system's text.
    static std::unique_ptr<TcpConnection> connect(const NetAddress& address,
                                                  std::uint32_t timeoutMs, std::string& cause);
    ~TcpConnection();
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Waits up to `timeoutMs` (0: not at all) for bytes and takes what has come; a signal ends
    // the wait early.
    NetResult receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs);
    // A full send buffer that takes nothing for this long means the peer has stopped reading.
    static constexpr std::uint32_t kSendStallMs = 5000;

    // Sends all of `bytes`, waiting while the socket's buffer is full, up to `stallMs` in all
    // (then Stalled, with what went in `count`).
    NetResult sendAll(std::span<const std::uint8_t> bytes, std::uint32_t stallMs = kSendStallMs);
    void close();

  private:
    explicit TcpConnection(NativeSocket fd) : fd_(fd) {}
    NativeSocket fd_ = kNoSocket;
};

}  // namespace horalux::platform
