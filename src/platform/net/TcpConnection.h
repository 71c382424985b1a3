#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/NativeSocket.h"

#include "platform/net/BytePipe.h"
#include "platform/net/NetAddress.h"

namespace horalux::platform {

// One TCP connection with no Nagle delay (a frame goes out at once) and keep-alive probes (a
// peer that vanished without a word is noticed within seconds).
class TcpConnection final : public BytePipe {
  public:
    // Connects to the first of the host's addresses that accepts within `timeoutMs` in all.
    // Empty on failure, with the cause in `cause`: "host not found", "connection refused",
    // "timed out", "interrupted" (a signal came) or the system's text.
    static std::unique_ptr<TcpConnection> connect(const NetAddress& address,
                                                  std::uint32_t timeoutMs, std::string& cause);
    ~TcpConnection() override;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    NetResult receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) override;
    NetResult sendAll(std::span<const std::uint8_t> bytes, std::uint32_t stallMs) override;
    void close() override;

  private:
    explicit TcpConnection(NativeSocket fd) : fd_(fd) {}
    NativeSocket fd_ = kNoSocket;
};

}  // namespace horalux::platform
