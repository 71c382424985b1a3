#pragma once

#include <termios.h>

#include <string>

#include "platform/SerialPort.h"

namespace horalux::platform {

// Device path for a port name: a bare name lives in /dev, a path stands as it is.
std::string serialDevicePath(const std::string& name);

// Whether a device of that name exists, listed or not.
bool serialDeviceExists(const std::string& name);

// A serial device (or pseudo-terminal) opened exclusively in raw 8N1 mode without flow control.
class PosixSerialPort final : public SerialPort {
  public:
    // Returns nullptr when the device does not exist, cannot be opened, is held by another
    // program, is no serial device or is the program's own controlling terminal, with the reason
    // in `failure` (when given, see serialOpenFailureText); throws PortError("Error setting port
    // state") when the line settings cannot be applied. Closing puts back the line settings the
    // device had before.
    static std::unique_ptr<PosixSerialPort> open(const std::string& name, std::uint32_t speed,
                                                 std::string* failure = nullptr);
    ~PosixSerialPort() override;

    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    IoResult read(std::uint8_t* buffer, std::size_t length) override;
    IoResult readSome(std::uint8_t* buffer, std::size_t capacity) override;
    IoResult readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                            std::uint32_t waitMs) override;
    IoResult write(const std::uint8_t* data, std::size_t length) override;
    std::size_t outputQueued() override;
    void purge() override;
    LineErrorState takeErrors() override;
    void setSpeed(std::uint32_t bitsPerSecond) override;
    std::uint32_t speed() const override { return speed_; }
    void close() override;

  private:
    explicit PosixSerialPort(int fd) : fd_(fd) {}
    void applySettings(std::uint32_t bitsPerSecond);

    int fd_ = -1;
    std::uint32_t speed_ = 0;
    termios settings_{};
    termios original_{};
    bool haveOriginal_ = false;
    // Driver error counters at the last check; a rise since then is a new error.
    struct Counters {
        int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    } counters_{};
    bool haveCounters_ = false;
};

class PosixSerialOpener final : public SerialDeviceOpener {
  public:
    std::unique_ptr<SerialPort> open(const std::string& name, std::uint32_t speed) override {
        lastFailure_.clear();
        return PosixSerialPort::open(name, speed, &lastFailure_);
    }
    std::string lastFailureCause() const override { return lastFailure_; }

  private:
    std::string lastFailure_;
};

// Why a device could not be opened, as one line naming it: "/dev/ttyUSB0: no such device",
// "...: permission denied ..." (naming the device's group and how to join it), "...: in use by
// another program" (EBUSY, EWOULDBLOCK), "...: not a serial device" (ENOTTY), else the system's
// text for `error`.
std::string serialOpenFailureText(const std::string& path, int error);

// The speed constant for a bit rate, or B0 when the system has none for it.
speed_t speedConstant(std::uint32_t bitsPerSecond);
// The bit rate of a speed constant; 0 when it is none of those speedConstant knows.
std::uint32_t bitsPerSecondOf(speed_t constant);

}  // namespace horalux::platform
