#pragma once

#include <cstdint>
#include <optional>

namespace horalux::platform {

// A local calendar date and time to the millisecond.
struct LocalDateTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// The PC clock. Tests use a fake so that nothing ever sets the machine's real clock.
class SystemClock {
  public:
    virtual ~SystemClock() = default;
    // The local date and time, read once.
    virtual LocalDateTime now() = 0;
    // Minutes to add to local time to get UTC (local = UTC - bias), daylight saving included;
    // empty when it cannot be read.
    virtual std::optional<int> biasMinutes() = 0;
    // Sets the clock to an instant in Unix milliseconds (UTC); false when the system refuses.
    // The clock is set from UTC, not from local time, so the hour repeated when daylight saving
    // ends cannot be taken for the other one.
    virtual bool setUtc(std::int64_t unixMs) = 0;
};

}  // namespace horalux::platform
