#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/SystemClock.h"

namespace horalux::timesync {

// The data block of the board clock write ('p'): seconds, minutes, hours (BCD), day of the
// week (2 Monday .. 8 Sunday, plain), day, month, two-digit year (BCD).
using BoardTimePayload = std::array<std::uint8_t, 7>;

// Julian Day Number of a Gregorian date; J mod 7 is 0 on a Monday.
constexpr std::int64_t julianDayNumber(int year, int month, int day) {
    std::int64_t y = year;
    std::int64_t m = month;
    if (m > 2) {
        m -= 3;
    } else {
        m += 9;
        y -= 1;
    }
    const std::int64_t c = y / 100;
    const std::int64_t a = y % 100;
    return (146097 * c) / 4 + (1461 * a) / 4 + (153 * m + 2) / 5 + day + 1721119;
}

// The payload for one reading of the PC clock. Taking every field from the same reading keeps
// a write made at a change of minute, hour or day from mixing two different times.
BoardTimePayload makeBoardTimePayload(const platform::LocalDateTime& now);

// When a clock write goes out so that its frame's last byte ends on the whole second the
// payload carries: the board starts that second as the byte arrives, not a fraction late.
struct ClockWriteTiming {
    double waitMs = 0;          // from now until the frame's first byte is written
    std::int64_t secondMs = 0;  // local epoch milliseconds of that whole second
};
// `nowMs` is the PC's local time in epoch milliseconds, `wireMs` the frame's time on the wire.
ClockWriteTiming alignClockWrite(std::int64_t nowMs, double wireMs);

// The date and time a clock block carries (year 2000 + the two digits; the day of the week is
// not checked); nothing when a byte is not BCD or the date and time do not exist.
std::optional<platform::LocalDateTime> decodeBoardTimePayload(
    std::span<const std::uint8_t> payload);

}  // namespace horalux::timesync
