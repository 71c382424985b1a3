#pragma once

#include <cstdint>

#include "platform/SystemClock.h"

namespace horalux::timesync {

// Division rounding toward minus infinity, so times before an epoch fall into the right unit.
std::int64_t floorDiv(std::int64_t a, std::int64_t b);

// Days from 1 January 1970 to a Gregorian date (negative before it).
std::int64_t daysFromCivil(int year, int month, int day);

// Milliseconds from 1970-01-01 00:00:00.000 to a date and time on the same time scale; the
// fields are taken as they stand, so a local time gives a "local epoch" count.
std::int64_t epochMsOf(const platform::LocalDateTime& time);

// The date and time `ms` milliseconds from 1970-01-01 00:00:00.000 (negative counts allowed).
platform::LocalDateTime dateTimeOfEpochMs(std::int64_t ms);

}  // namespace horalux::timesync
