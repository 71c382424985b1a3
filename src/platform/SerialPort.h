#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace horalux::platform {

// Raised for the failures the caller must handle: "Error setting port state", "Error reading port".
class PortError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class IoStatus {
    Ok,      // count bytes moved (0 on a read means the time-out passed in silence)
    Failed,  // the call failed; the device may still be there
    Gone,    // hang-up or I/O error: the device has disappeared (an unplugged adapter)
};

struct IoResult {
    std::size_t count = 0;
    IoStatus status = IoStatus::Ok;
};

// Line error flags as the boards' original platform numbers them.
namespace line_error {
inline constexpr std::uint32_t ReceiveQueueFull = 0x0001;
inline constexpr std::uint32_t Overrun = 0x0002;
inline constexpr std::uint32_t Parity = 0x0004;
inline constexpr std::uint32_t Framing = 0x0008;
inline constexpr std::uint32_t Break = 0x0010;
inline constexpr std::uint32_t TransmitQueueFull = 0x0100;
inline constexpr std::uint32_t DeviceIo = 0x0400;
inline constexpr std::uint32_t UnsupportedMode = 0x8000;
}  // namespace line_error

struct LineErrorState {
    bool queryOk = true;
    std::uint32_t flags = 0;
};

// One open port: a local serial device, later a network port. The link reaches the line only
// through this interface, so tests can put an in-memory line in its place.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Reads up to `length` bytes; returns what arrived within length x 80 ms.
    virtual IoResult read(std::uint8_t* buffer, std::size_t length) = 0;
    // Reads what has arrived, up to `capacity` bytes, waiting at most 80 ms for the first one:
    // a one-byte poll that also takes whatever came with the byte.
    virtual IoResult readSome(std::uint8_t* buffer, std::size_t capacity) {
        return capacity == 0 ? IoResult{} : read(buffer, 1);
    }
    // As readSome, but waits at most `waitMs` for the first byte (0: takes only what is there),
    // for a caller whose wait is shorter than a byte time-out (a scan of the addresses). A port
    // that cannot wait less keeps its byte time-out.
    virtual IoResult readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                    std::uint32_t waitMs) {
        (void)waitMs;
        return readSome(buffer, capacity);
    }
    // One write of the whole buffer.
    virtual IoResult write(const std::uint8_t* data, std::size_t length) = 0;
    // Bytes written but still waiting in the driver's output queue; 0 when the device keeps no
    // such count (a pseudo-terminal).
    virtual std::size_t outputQueued() { return 0; }
    // Discards both queues; failures are ignored.
    virtual void purge() = 0;
    virtual void close() = 0;

    // The serial line's own calls. A port with no line of its own to set (a network port) keeps
    // these defaults: it reports no line errors, and takes any speed as the nominal speed of the
    // line behind it, which the post-write pause and the wire-time estimates go by.

    // Reads and clears the device's error state.
    virtual LineErrorState takeErrors() { return {}; }
    // Applies a new speed keeping every other line setting; throws PortError.
    virtual void setSpeed(std::uint32_t bitsPerSecond) { nominalSpeed_ = bitsPerSecond; }
    // 0 until a speed was set.
    virtual std::uint32_t speed() const { return nominalSpeed_; }

  private:
    std::uint32_t nominalSpeed_ = 0;
};

// Opens ports by name; the program's PortOpener chooses the kind of port from the name, tests
// hand out in-memory lines.
class SerialDeviceOpener {
  public:
    virtual ~SerialDeviceOpener() = default;
    // Returns nullptr when the device cannot be opened; throws PortError when its line settings
    // cannot be read or applied.
    virtual std::unique_ptr<SerialPort> open(const std::string& name, std::uint32_t speed) = 0;
    // Why the last open returned nullptr, as one line naming the device and the reason; empty when
    // the opener cannot say.
    virtual std::string lastFailureCause() const { return {}; }
};

// Read time-out per requested byte.
inline constexpr std::uint32_t kReadTimeoutPerByteMs = 80;

}  // namespace horalux::platform

namespace horalux::platform {

// The device disappeared while a read was under way.
class DeviceGone : public PortError {
  public:
    DeviceGone() : PortError("Error reading port") {}
};

}  // namespace horalux::platform
