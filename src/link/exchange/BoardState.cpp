#include "link/exchange/BoardState.h"

#include "config/Codes.h"
#include "timesync/CivilTime.h"

namespace horalux::link {

std::string_view currentMainText(const BoardData& data) {
    if (data.CurrentMainItem >= data.MainFieldTexts.size()) {
        return {};
    }
    return data.MainFieldTexts[data.CurrentMainItem];
}

std::optional<platform::LocalDateTime> boardOwnClock(const BoardData& data) {
    if (!data.BoardClock) {
        return std::nullopt;
    }
    const std::int64_t shiftMinutes = config::timeZoneShiftMinutes(data.BoardCopy.timeZone);
    return timesync::dateTimeOfEpochMs(timesync::epochMsOf(*data.BoardClock) -
                                       shiftMinutes * 60000);
}

BoardData BoardState::snapshot() const {
    std::lock_guard lock(mutex_);
    return data_;
}

}  // namespace horalux::link
