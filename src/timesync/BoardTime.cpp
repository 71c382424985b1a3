#include "timesync/BoardTime.h"

namespace horalux::timesync {

BoardTimePayload makeBoardTimePayload(const platform::LocalDateTime& now) {
    const std::int64_t j = julianDayNumber(now.year, now.month, now.day);
    const int twoDigitYear = ((now.year % 100) + 100) % 100;
    return {
        toBcd(now.second),   toBcd(now.minute),
        toBcd(now.hour),     static_cast<std::uint8_t>(j % 7 + 2),
        toBcd(now.day),      toBcd(now.month),
        toBcd(twoDigitYear),
    };
}

}  // namespace horalux::timesync
