#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/net/NetworkTimeouts.h"

namespace horalux::platform {

// What the network port lends its protocol layer while the remote line is set up: sends and
// waits on the byte pipe, bounded by the set-up's time limit.
class LayerLink {
  public:
    enum class Wait {
        Came,    // the wait ended with what came taken in (maybe nothing, at a signal-free wake)
        TimeUp,  // the set-up's time limit has passed
        Failed,  // the connection went or failed, the server flooded it, or a signal came
    };
    // Sends bytes of the protocol itself, as they are; false when the connection failed.
    virtual bool send(const std::vector<std::uint8_t>& bytes) = 0;
    // Waits until the set-up's limit for more from the server and takes it in.
    virtual Wait await() = 0;
    // Takes in what has come, without waiting; false when the connection is gone.
    virtual bool takeWaiting() = 0;

  protected:
    ~LayerLink() = default;
};

// The protocol between the line's bytes and the byte pipe of a network port: how the bytes go
// on the connection, and what can be set of the line behind the device server. The raw layer
// carries the bytes as they are; the Telnet one (RFC 2217) escapes them and sets the line.
class LineLayer {
  public:
    virtual ~LineLayer() = default;

    // How long the set-up on opening is given.
    virtual std::uint32_t setUpMs(const NetworkTimeouts& timeouts) const = 0;
    // Sets up the remote line on opening. False when it could not be done (the port says why
    // from what the connection did); throws PortError when the server set the line otherwise.
    virtual bool setUp(LayerLink& link, std::uint32_t speed) = 0;
    // Bytes from the pipe: the line's own are appended to `data`, what the protocol owes the
    // server in answer to `reply`.
    virtual void decode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& data,
                        std::vector<std::uint8_t>& reply) = 0;
    // The line's bytes as they go on the pipe, appended to `out`.
    virtual void encode(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) = 0;
    // Asks for a new speed of the remote line: the speed the server then runs it at, or empty
    // when it did not answer. A layer with no line to set takes any speed as the nominal one.
    virtual std::optional<std::uint32_t> setSpeed(LayerLink& link, std::uint32_t bitsPerSecond) {
        (void)link;
        return bitsPerSecond;
    }
    // Asks the server to empty its own queues; nothing for a layer that cannot.
    virtual void purge(LayerLink& link) { (void)link; }
};

// "Error setting port state" for a speed the line behind the server did not take.
inline PortError speedNotTaken(std::uint32_t asked, const std::string& why) {
    return PortError("Error setting port state\n" + std::to_string(asked) + " bit/s: " + why);
}

}  // namespace horalux::platform
