#include "timesync/BoardTime.h"

#include <cmath>

#include "config/Codec.h"
#include "timesync/CivilTime.h"

namespace horalux::timesync {

BoardTimePayload makeBoardTimePayload(const platform::LocalDateTime& now) {
    const std::int64_t j = julianDayNumber(now.year, now.month, now.day);
    const int twoDigitYear = ((now.year % 100) + 100) % 100;
    return {
        config::ToBcd(now.second),   config::ToBcd(now.minute),
        config::ToBcd(now.hour),     static_cast<std::uint8_t>(j % 7 + 2),
        config::ToBcd(now.day),      config::ToBcd(now.month),
        config::ToBcd(twoDigitYear),
    };
}

ClockWriteTiming alignClockWrite(std::int64_t nowMs, double wireMs) {
    const double end = static_cast<double>(nowMs) + wireMs;
    ClockWriteTiming timing;
    timing.secondMs = static_cast<std::int64_t>(std::ceil(end / 1000.0)) * 1000;
    timing.waitMs = static_cast<double>(timing.secondMs) - end;
    return timing;
}

std::optional<platform::LocalDateTime> decodeBoardTimePayload(
    std::span<const std::uint8_t> payload) {
    if (payload.size() != BoardTimePayload{}.size()) {
        return std::nullopt;
    }
    const auto second = config::fromBcd(payload[0]);
    const auto minute = config::fromBcd(payload[1]);
    const auto hour = config::fromBcd(payload[2]);
    const auto day = config::fromBcd(payload[4]);
    const auto month = config::fromBcd(payload[5]);
    const auto year = config::fromBcd(payload[6]);
    if (!second || !minute || !hour || !day || !month || !year || *second > 59 || *minute > 59 ||
        *hour > 23 || *month < 1 || *month > 12 || *day < 1) {
        return std::nullopt;
    }
    platform::LocalDateTime time;
    time.year = 2000 + *year;
    time.month = *month;
    time.day = *day;
    time.hour = *hour;
    time.minute = *minute;
    time.second = *second;
    // A day past the end of its month comes back as another date.
    if (dateTimeOfEpochMs(epochMsOf(time)) != time) {
        return std::nullopt;
    }
    return time;
}

}  // namespace horalux::timesync
