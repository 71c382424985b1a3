#pragma once

#include <cstdint>
#include <mutex>

#include "platform/SerialPort.h"

namespace horalux::link {

// The port as one exchange thread sees it. Revoking the lease waits for a port call under way
// and turns every later call into "device gone", so the main side may reconfigure, close or
// reopen the port while the old thread is still on its way out (for example while it waits on
// one of the main side's handlers, which must not join it).
class PortLease final : public platform::SerialPort {
  public:
    explicit PortLease(platform::SerialPort& port) : port_(&port) {}

    // Main side. After it returns the thread no longer reaches the port.
    void revoke();

    // Every call of the port goes through, also those with a default of their own.
    platform::IoResult read(std::uint8_t* buffer, std::size_t length) override;
    platform::IoResult readSome(std::uint8_t* buffer, std::size_t capacity) override;
    platform::IoResult readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                      std::uint32_t waitMs) override;
    platform::IoResult write(const std::uint8_t* data, std::size_t length) override;
    std::size_t outputQueued() override;
    void purge() override;
    platform::LineErrorState takeErrors() override;
    void setSpeed(std::uint32_t bitsPerSecond) override;
    std::uint32_t speed() const override;
    void close() override {}  // the connection owns the port and closes it

  private:
    mutable std::mutex mutex_;
    platform::SerialPort* port_;  // nullptr once revoked
    std::uint32_t lastSpeed_ = 0;
};

}  // namespace horalux::link
