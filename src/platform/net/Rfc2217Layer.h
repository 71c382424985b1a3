#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/net/LineLayer.h"
#include "platform/net/TelnetCodec.h"

namespace horalux::platform {

// Telnet with the COM-PORT-OPTION (RFC 2217) over the pipe: the line's bytes escaped, the
// server's commands kept from the reader, and the remote line set to the speed and 8N1.
class Rfc2217Layer final : public LineLayer {
  public:
    std::uint32_t setUpMs(const NetworkTimeouts& timeouts) const override {
        return timeouts.setupMs;
    }
    // Offers the option and asks for 8N1 and the speed; throws PortError when the server sets
    // anything else.
    bool setUp(LayerLink& link, std::uint32_t speed) override;
    void decode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& data,
                std::vector<std::uint8_t>& reply) override;
    void encode(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) override;
    std::optional<std::uint32_t> setSpeed(LayerLink& link, std::uint32_t bitsPerSecond) override;
    void purge(LayerLink& link) override;

  private:
    // One COM-PORT-OPTION request, counted in flight once sent.
    struct Request {
        std::uint8_t command = 0;
        std::vector<std::uint8_t> bytes;  // as it goes on the connection
    };
    // Sends the requests after `lead` (the greeting, say); false on failure.
    bool sendRequests(LayerLink& link, std::vector<std::uint8_t> lead,
                      const std::vector<Request>& requests);
    // Waits for the server's answers to `commands` (client codes), each the answer to the
    // latest request of its command; each value goes to `values` at its command's place. False
    // when the time ran out, the connection went or the server flooded it.
    bool awaitAnswers(LayerLink& link, const std::vector<std::uint8_t>& commands,
                      std::vector<std::vector<std::uint8_t>>& values);
    // Takes the answers decoded so far: those owed to the latest request of a command in
    // `commands` fill `values`, the rest (older requests, unasked notices) are dropped.
    std::size_t matchAnswers(const std::vector<std::uint8_t>& commands,
                             std::vector<std::vector<std::uint8_t>>& values,
                             std::vector<bool>& answered);
    // Takes what has come and drops the answers owed to requests sent before; false when the
    // connection is gone.
    bool dropOlderAnswers(LayerLink& link);

    TelnetCodec telnet_;
    // COM-PORT-OPTION requests sent and not answered yet, by command: an answer is the latest
    // request's only when no older one is still owed one.
    std::array<std::uint32_t, 256> inFlight_{};
};

}  // namespace horalux::platform
