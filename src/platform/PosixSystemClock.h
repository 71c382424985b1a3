#pragma once

#include <time.h>

#include <optional>

#include "platform/SystemClock.h"

namespace horalux::platform {

// The machine's real-time clock read and set through the C library's local-time rules (TZ).
// Setting it needs the right to change the system time.
class PosixSystemClock final : public SystemClock {
  public:
    LocalDateTime now() override;
    std::optional<int> biasMinutes() override;
    bool setUtc(std::int64_t unixMs) override;
};

// Whether the system's own time service keeps the clock synchronised (the kernel's clock
// discipline says so), so that the program should not step it.
bool systemClockSynchronised();

// Local date and time of an instant under the process's time zone.
LocalDateTime localDateTimeAt(const timespec& instant);
// Local date and time of an instant given in Unix milliseconds.
LocalDateTime localDateTimeOfUnixMs(std::int64_t unixMs);
// Bias (UTC - local, in minutes) in effect at an instant; empty when it cannot be read.
std::optional<int> biasMinutesAt(const timespec& instant);
// The instant a local date and time stands for; empty when the fields are out of range.
std::optional<timespec> instantOfLocal(const LocalDateTime& time);

}  // namespace horalux::platform
