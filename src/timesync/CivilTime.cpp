#include "timesync/CivilTime.h"

namespace horalux::timesync {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

namespace {

constexpr std::int64_t kMsPerDay = 86400000;

}  // namespace

// Counting in 400-year eras that start on 1 March keeps the leap day at the end of the year.
std::int64_t daysFromCivil(int year, int month, int day) {
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t monthFromMarch = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t epochMsOf(const platform::LocalDateTime& time) {
    const std::int64_t days = daysFromCivil(time.year, time.month, time.day);
    return days * kMsPerDay + ((time.hour * 60LL + time.minute) * 60LL + time.second) * 1000LL +
           time.millisecond;
}

platform::LocalDateTime dateTimeOfEpochMs(std::int64_t ms) {
    const std::int64_t days = floorDiv(ms, kMsPerDay);
    std::int64_t inDay = ms - days * kMsPerDay;

    const std::int64_t z = days + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;

    platform::LocalDateTime out;
    out.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    out.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    out.year = static_cast<int>(yearOfEra + era * 400 + (out.month <= 2 ? 1 : 0));
    out.millisecond = static_cast<int>(inDay % 1000);
    inDay /= 1000;
    out.second = static_cast<int>(inDay % 60);
    inDay /= 60;
    out.minute = static_cast<int>(inDay % 60);
    out.hour = static_cast<int>(inDay / 60);
    return out;
}

}  // namespace horalux::timesync
