#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PortKind.h"
#include "platform/SerialPort.h"
#include "platform/net/TcpConnection.h"
#include "platform/net/TelnetCodec.h"

namespace horalux::platform {

// Time limits of a network port; tests shorten them.
struct NetworkTimeouts {
    std::uint32_t connectMs = 5000;
    // How long the device server may take to acknowledge a line setting.
    std::uint32_t setupMs = 3000;
    // How long a raw connection is watched after it is made: a device server that already
    // serves someone says so (or just closes) at once.
    std::uint32_t settleMs = 300;
};

// A board's line behind a device server: "tcp://HOST:PORT" carries the line's bytes as they
// are; "rfc2217://HOST:PORT" speaks Telnet with the COM-PORT-OPTION, which sets the remote
// line's speed and 8N1. Reads keep a local port's time-outs; a connection closed or reset is
// IoStatus::Gone, as an unplugged adapter.
class NetworkPort final : public SerialPort {
  public:
    // Returns nullptr when the port cannot be had, with the cause in `failure` as one line
    // naming the port ("NAME: host not found", "connection refused", "timed out", "in use by
    // another program", "the device server closed the connection during set-up", ...); throws
    // PortError when the device server sets another speed or anything but 8N1.
    static std::unique_ptr<NetworkPort> open(const std::string& name, std::uint32_t speed,
                                             std::string* failure = nullptr,
                                             const NetworkTimeouts& timeouts = {});
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
    NetworkPort(std::unique_ptr<TcpConnection> connection, bool telnet,
                const NetworkTimeouts& timeouts);

    // Waits up to `timeoutMs` for what the server sends and takes it in; false once the
    // connection is gone or failed (status_ says which).
    bool takeIn(std::uint32_t timeoutMs);
    // Sends bytes of the protocol itself (no escaping); false on failure.
    bool sendRaw(const std::vector<std::uint8_t>& bytes);
    // Sends COM-PORT-OPTION requests (after `lead`, the greeting say), each counted in flight.
    struct Request {
        std::uint8_t command = 0;
        std::vector<std::uint8_t> bytes;  // as it goes on the connection
    };
    bool sendRequests(std::vector<std::uint8_t> lead, const std::vector<Request>& requests);
    // Takes what has come and drops the answers owed to requests sent before; false when the
    // connection is gone.
    bool dropOlderAnswers();
    // Waits for the server's answers to `commands` (client codes), each the answer to the
    // latest request of its command; each value goes to `values` at its command's place. False
    // when the time ran out, the connection went or the server flooded it.
    bool awaitAnswers(const std::vector<std::uint8_t>& commands,
                      std::vector<std::vector<std::uint8_t>>& values);
    // Takes the answers decoded so far: those owed to the latest request of a command in
    // `commands` fill `values`, the rest (older requests, unasked notices) are dropped.
    std::size_t matchAnswers(const std::vector<std::uint8_t>& commands,
                             std::vector<std::vector<std::uint8_t>>& values,
                             std::vector<bool>& answered);
    IoResult take(std::uint8_t* buffer, std::size_t length, std::size_t already);
    // Why the set-up on opening failed (interrupted, flooded, unanswered, closed by the server).
    std::string setupFailure() const;
    // Why a speed change got no answer.
    std::string speedFailure() const;
    // Why the server ended the connection during the set-up: what it said (or nothing).
    std::string closingCause() const;

    std::unique_ptr<TcpConnection> connection_;
    std::optional<TelnetCodec> telnet_;
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
    // COM-PORT-OPTION requests sent and not answered yet, by command: an answer is the latest
    // request's only when no older one is still owed one.
    std::array<std::uint32_t, 256> inFlight_{};
    std::uint32_t speed_ = 0;
};

}  // namespace horalux::platform
