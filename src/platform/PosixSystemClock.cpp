#include "platform/PosixSystemClock.h"

#include <sys/timex.h>

namespace horalux::platform {
namespace {

timespec realtimeNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts;
}

timespec timespecOfUnixMs(std::int64_t unixMs) {
    std::int64_t seconds = unixMs / 1000;
    std::int64_t ms = unixMs % 1000;
    if (ms < 0) {  // before 1970: the milliseconds count forward from the earlier second
        ms += 1000;
        seconds -= 1;
    }
    return timespec{static_cast<time_t>(seconds), static_cast<long>(ms * 1000000)};
}

}  // namespace

LocalDateTime localDateTimeOfUnixMs(std::int64_t unixMs) {
    return localDateTimeAt(timespecOfUnixMs(unixMs));
}

LocalDateTime localDateTimeAt(const timespec& instant) {
    tm parts{};
    localtime_r(&instant.tv_sec, &parts);
    LocalDateTime out;
    out.year = parts.tm_year + 1900;
    out.month = parts.tm_mon + 1;
    out.day = parts.tm_mday;
    out.hour = parts.tm_hour;
    out.minute = parts.tm_min;
    // A leap second shows as :60; the board and the callers know only 0..59.
    out.second = parts.tm_sec > 59 ? 59 : parts.tm_sec;
    out.millisecond = static_cast<int>(instant.tv_nsec / 1000000L);
    return out;
}

std::optional<int> biasMinutesAt(const timespec& instant) {
    tm parts{};
    if (localtime_r(&instant.tv_sec, &parts) == nullptr) {
        return std::nullopt;
    }
    return static_cast<int>(-parts.tm_gmtoff / 60);
}

std::optional<timespec> instantOfLocal(const LocalDateTime& time) {
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour < 0 ||
        time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
        time.second > 59 || time.millisecond < 0 || time.millisecond > 999) {
        return std::nullopt;
    }
    tm parts{};
    parts.tm_year = time.year - 1900;
    parts.tm_mon = time.month - 1;
    parts.tm_mday = time.day;
    parts.tm_hour = time.hour;
    parts.tm_min = time.minute;
    parts.tm_sec = time.second;
    parts.tm_isdst = -1;  // let the zone rules decide whether daylight saving is in effect
    parts.tm_wday = -1;   // mktime fills it in only on success
    const time_t seconds = mktime(&parts);
    // -1 is also a valid instant (one second before 1970 UTC); tm_wday tells them apart.
    if (seconds == static_cast<time_t>(-1) && parts.tm_wday < 0) {
        return std::nullopt;
    }
    return timespec{seconds, static_cast<long>(time.millisecond) * 1000000L};
}

LocalDateTime PosixSystemClock::now() {
    return localDateTimeAt(realtimeNow());
}

std::optional<int> PosixSystemClock::biasMinutes() {
    return biasMinutesAt(realtimeNow());
}

bool PosixSystemClock::setUtc(std::int64_t unixMs) {
    const timespec instant = timespecOfUnixMs(unixMs);
    return clock_settime(CLOCK_REALTIME, &instant) == 0;
}

bool systemClockSynchronised() {
    timex state{};
    const int rc = adjtimex(&state);
    return rc != -1 && rc != TIME_ERROR && (state.status & STA_UNSYNC) == 0;
}

}  // namespace horalux::platform
