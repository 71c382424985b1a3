#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/SerialPort.h"
#include "platform/Win32FineTimer.h"

namespace horalux::platform {

// Device path for a port name: "COM3" becomes "\\.\COM3" (the only form that reaches COM10 and
// above); a name already in that form, or any other path, stands as it is.
std::string serialDevicePath(const std::string& name);

// Whether the system knows a device of that name, listed or not.
bool serialDeviceExists(const std::string& name);

// A COM port opened exclusively (no sharing) in 8N1 without flow control, reads timing out
// 80 ms per requested byte.
class Win32SerialPort final : public SerialPort {
  public:
    // Returns nullptr when the device does not exist, cannot be opened or is held by another
    // program, with the reason in `failure` (when given); throws PortError("Error setting port
    // state") when the line settings cannot be applied. Closing puts back the settings the device
    // had before.
    static std::unique_ptr<Win32SerialPort> open(const std::string& name, std::uint32_t speed,
                                                 std::string* failure = nullptr);
    ~Win32SerialPort() override;

    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

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
    Win32SerialPort(HANDLE handle, HANDLE claim) : handle_(handle), claim_(claim) {}
    void applySettings(std::uint32_t bitsPerSecond);
    // Sets the read time-outs: `perByteMs` for each requested byte (the line's reads), or a
    // wait of `firstByteMs` for the first byte and none after it (the polls).
    bool setReadTimeouts(DWORD perByteMs, DWORD firstByteMs);
    IoResult readWith(std::uint8_t* buffer, std::size_t length, DWORD perByteMs, DWORD firstByteMs);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    // A named object held while the port is open (see claimPort).
    HANDLE claim_ = nullptr;
    std::uint32_t speed_ = 0;
    DCB original_{};
    bool haveOriginal_ = false;
    // The read time-outs in force, so a read sets them only when they change.
    DWORD perByteMs_ = 0;
    DWORD firstByteMs_ = 0;
    bool timeoutsSet_ = false;
    // Error flags cleared by a query of the output queue, not yet reported.
    DWORD pendingErrors_ = 0;
    // The exchange's pauses and reply waits need 1 ms timing while the port is open.
    std::optional<FineTimer> fineTimer_;
};

class Win32SerialOpener final : public SerialDeviceOpener {
  public:
    std::unique_ptr<SerialPort> open(const std::string& name, std::uint32_t speed) override {
        lastFailure_.clear();
        return Win32SerialPort::open(name, speed, &lastFailure_);
    }
    std::string lastFailureCause() const override { return lastFailure_; }

  private:
    std::string lastFailure_;
};

// Why a device could not be opened, as one line naming it: "COM7: no such device", "COM1: in
// use by another program", "COM1: permission denied", else the system's text for `error`.
std::string serialOpenFailureText(const std::string& name, DWORD error);

}  // namespace horalux::platform
