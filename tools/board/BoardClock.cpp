#include "board/BoardClock.h"

#include "platform/Tick.h"
#include "timesync/CivilTime.h"

namespace horalux::board {

namespace {

std::optional<int> fromBcd(std::uint8_t byte) {
    const int tens = byte >> 4;
    const int units = byte & 0x0F;
    if (tens > 9 || units > 9) {
        return std::nullopt;
    }
    return tens * 10 + units;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

void BoardClock::set(const platform::LocalDateTime& time, std::uint32_t nowMs) {
    baseMs_ = timesync::epochMsOf(time);
    baseTick_ = nowMs;
}

platform::LocalDateTime BoardClock::at(std::uint32_t nowMs) const {
    return timesync::dateTimeOfEpochMs(baseMs_ + platform::elapsedMs(baseTick_, nowMs));
}

std::optional<platform::LocalDateTime> decodeClockPayload(std::span<const std::uint8_t> payload) {
    if (payload.size() != timesync::BoardTimePayload{}.size()) {
        return std::nullopt;
    }
    const auto second = fromBcd(payload[0]);
    const auto minute = fromBcd(payload[1]);
    const auto hour = fromBcd(payload[2]);
    const auto day = fromBcd(payload[4]);
    const auto month = fromBcd(payload[5]);
    const auto year = fromBcd(payload[6]);
    if (!second || !minute || !hour || !day || !month || !year || *second > 59 || *minute > 59 ||
        *hour > 23 || *month < 1 || *month > 12 || *day < 1 ||
        *day > daysInMonth(2000 + *year, *month)) {
        return std::nullopt;
    }
    platform::LocalDateTime time;
    time.year = 2000 + *year;
    time.month = *month;
    time.day = *day;
    time.hour = *hour;
    time.minute = *minute;
    time.second = *second;
    return time;
}

}  // namespace horalux::board
