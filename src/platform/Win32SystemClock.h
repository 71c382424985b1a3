#pragma once

#include <cstdint>
#include <optional>

#include "platform/SystemClock.h"

namespace horalux::platform {

// The machine's clock read and set through the system's time-zone settings. Setting it needs
// the system-time privilege, which the clock enables for itself when the account holds it.
class Win32SystemClock final : public SystemClock {
  public:
    LocalDateTime now() override;
    std::optional<int> biasMinutes() override;
    bool setUtc(std::int64_t unixMs) override;
};

// Whether the system's own time service keeps the clock adjusted, so that the program should
// not step it.
bool systemClockSynchronised();

// Local date and time of an instant given in Unix milliseconds.
LocalDateTime localDateTimeOfUnixMs(std::int64_t unixMs);

}  // namespace horalux::platform
