#include "platform/Win32SystemClock.h"

#include <windows.h>

namespace horalux::platform {
namespace {

// 100-ns intervals from 1601-01-01 (the system's epoch) to 1970-01-01.
constexpr std::int64_t kUnixEpochIn100ns = 116'444'736'000'000'000;

LocalDateTime fromSystemTime(const SYSTEMTIME& t) {
    LocalDateTime out;
    out.year = t.wYear;
    out.month = t.wMonth;
    out.day = t.wDay;
    out.hour = t.wHour;
    out.minute = t.wMinute;
    out.second = t.wSecond > 59 ? 59 : t.wSecond;
    out.millisecond = t.wMilliseconds;
    return out;
}

std::optional<SYSTEMTIME> utcSystemTimeOf(std::int64_t unixMs) {
    const std::int64_t intervals = unixMs * 10'000 + kUnixEpochIn100ns;
    if (intervals < 0) {
        return std::nullopt;
    }
    FILETIME file{};
    file.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(intervals) & 0xFFFFFFFFU);
    file.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(intervals) >> 32U);
    SYSTEMTIME utc{};
    if (FileTimeToSystemTime(&file, &utc) == 0) {
        return std::nullopt;
    }
    return utc;
}

// Setting the clock needs SE_SYSTEMTIME_NAME enabled in the process's token; accounts that
// hold it (administrators) still have it disabled until asked for.
bool enableSystemTimePrivilege() {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) == 0) {
        return false;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool enabled =
        LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &privileges.Privileges[0].Luid) != 0 &&
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) != 0 &&
        GetLastError() == ERROR_SUCCESS;  // ERROR_NOT_ALL_ASSIGNED: not held
    CloseHandle(token);
    return enabled;
}

}  // namespace

LocalDateTime localDateTimeOfUnixMs(std::int64_t unixMs) {
    const auto utc = utcSystemTimeOf(unixMs);
    SYSTEMTIME local{};
    if (!utc || SystemTimeToTzSpecificLocalTime(nullptr, &*utc, &local) == 0) {
        return {};
    }
    return fromSystemTime(local);
}

LocalDateTime Win32SystemClock::now() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return fromSystemTime(local);
}

std::optional<int> Win32SystemClock::biasMinutes() {
    TIME_ZONE_INFORMATION zone{};
    switch (GetTimeZoneInformation(&zone)) {
        case TIME_ZONE_ID_DAYLIGHT:
            return static_cast<int>(zone.Bias + zone.DaylightBias);
        case TIME_ZONE_ID_STANDARD:
            return static_cast<int>(zone.Bias + zone.StandardBias);
        case TIME_ZONE_ID_UNKNOWN:
            return static_cast<int>(zone.Bias);
        default:
            return std::nullopt;
    }
}

// Set from UTC (SetSystemTime) rather than local time (SetLocalTime): the hour repeated when
// daylight saving ends cannot then be taken for the other one.
bool Win32SystemClock::setUtc(std::int64_t unixMs) {
    const auto utc = utcSystemTimeOf(unixMs);
    if (!utc) {
        return false;
    }
    static const bool privileged = enableSystemTimePrivilege();
    (void)privileged;  // a refusal shows in SetSystemTime's answer
    return SetSystemTime(&*utc) != 0;
}

bool systemClockSynchronised() {
    DWORD adjustment = 0;
    DWORD increment = 0;
    BOOL adjustmentDisabled = TRUE;
    return GetSystemTimeAdjustment(&adjustment, &increment, &adjustmentDisabled) != 0 &&
           adjustmentDisabled == FALSE;
}

}  // namespace horalux::platform
