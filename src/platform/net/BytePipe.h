#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

// A full send buffer that takes nothing for this long means the peer has stopped reading.
inline constexpr std::uint32_t kSendStallMs = 5000;

// Bytes both ways to a peer, as a TCP connection carries them. The port's protocol layer sits
// on it; a layer that changes the bytes on their way (an encryption) is a pipe over a pipe.
class BytePipe {
  public:
    virtual ~BytePipe() = default;
    // Waits up to `timeoutMs` (0: not at all) for bytes and takes what has come; a signal ends
    // the wait early.
    virtual NetResult receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) = 0;
    // Sends all of `bytes`, waiting while the way out is full, up to `stallMs` in all (then
    // Stalled, with what went in `count`).
    virtual NetResult sendAll(std::span<const std::uint8_t> bytes, std::uint32_t stallMs) = 0;
    virtual void close() = 0;
};

}  // namespace horalux::platform
