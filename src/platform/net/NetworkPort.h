#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/net/BytePipe.h"
#include "platform/net/LineLayer.h"
#include "platform/net/NetworkTimeouts.h"

namespace horalux::platform {

// A board's line behind a device server: the line's bytes go through a protocol layer (raw, or
// Telnet with the COM-PORT-OPTION, which sets the remote line's speed and 8N1) over a byte pipe
// (a TCP connection). Reads keep a local port's time-outs; a connection closed or reset is
// IoStatus::Gone, as an unplugged adapter. The kinds of port that open one are in
// NetworkPortKinds.h.
class NetworkPort final : public SerialPort, private LayerLink {
  public:
    // Sets up the line over `pipe` through `layer`. Returns nullptr when the server did not, with
    // the cause in `cause` ("in use by another program", "the device server closed the
    // connection during set-up", ...); throws PortError when it sets another speed or anything
    // but 8N1.
    static std::unique_ptr<NetworkPort> open(std::unique_ptr<BytePipe> pipe,
                                             std::unique_ptr<LineLayer> layer, std::uint32_t speed,
                                             const NetworkTimeouts& timeouts, std::string& cause);
    ~NetworkPort() override;
    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    IoResult read(std::uint8_t* buffer, std::size_t length) override;
    IoResult readSome(std::uint8_t* buffer, std::size_t capacity) override;
    IoResult readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                            std::uint32_t waitMs) override;
    IoResult write(const std::uint8_t* data, std::size_t length) override;
    void purge() override;
    void close() override;
    void setSpeed(std::uint32_t bitsPerSecond) override;
    std::uint32_t speed() const override { return speed_; }

  private:
    NetworkPort(std::unique_ptr<BytePipe> pipe, std::unique_ptr<LineLayer> layer,
                const NetworkTimeouts& timeouts);

    // What the layer sets the line up by.
    bool send(const std::vector<std::uint8_t>& bytes) override;
    Wait await() override;
    bool takeWaiting() override;

    // Waits up to `timeoutMs` for what the server sends and takes it in; false once the
    // connection is gone or failed (status_ says which).
    bool takeIn(std::uint32_t timeoutMs);
    // Sends bytes as they go on the pipe; false on failure.
    bool sendRaw(const std::vector<std::uint8_t>& bytes);
    IoResult take(std::uint8_t* buffer, std::size_t length, std::size_t already);
    // Why the set-up on opening failed (interrupted, flooded, unanswered, closed by the server).
    std::string setupFailure() const;
    // Why a speed change got no answer.
    std::string speedFailure() const;
    // Why the server ended the connection during the set-up: what it said (or nothing).
    std::string closingCause() const;

    std::unique_ptr<BytePipe> pipe_;
    std::unique_ptr<LineLayer> layer_;
    NetworkTimeouts timeouts_;
    std::vector<std::uint8_t> received_;  // the line's bytes not read yet
    std::size_t receivedAt_ = 0;
    IoStatus status_ = IoStatus::Ok;
    bool interrupted_ = false;  // the last wait was cut short by a signal
    // While the line is being set up, waits end at this tick (sends included) and what comes is
    // kept only up to a bound, a flood being no board's line; empty otherwise.
    std::optional<std::int64_t> setupDeadline_;
    bool overflowed_ = false;   // the bound was passed
    bool sendStalled_ = false;  // the server took nothing we sent within the time left
    std::uint32_t speed_ = 0;
};

}  // namespace horalux::platform
