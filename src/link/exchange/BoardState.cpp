#include "link/exchange/BoardState.h"

#include "config/Codes.h"
#include "timesync/CivilTime.h"

namespace horalux::link {
namespace {

constexpr std::uint8_t kEveryBoard = 255;

}  // namespace

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

std::uint8_t BoardState::viewedAddress() const {
    const std::uint8_t current = current_.load();
    if (current != kEveryBoard || lastHeard_ == kNoBoard) {
        return current;
    }
    return static_cast<std::uint8_t>(lastHeard_);
}

BoardState::Access BoardState::lock(std::uint8_t address) {
    std::unique_lock hold(mutex_);
    BoardData& data = entry(address);
    return Access(std::move(hold), data);
}

BoardState::Access BoardState::lock() {
    std::unique_lock hold(mutex_);
    BoardData& data = entry(viewedAddress());
    return Access(std::move(hold), data);
}

BoardState::Access BoardState::lineStatus() {
    std::unique_lock hold(mutex_);
    BoardData& data = StatusFrameSeen.load() && statusSender_ != kNoBoard
                          ? entry(static_cast<std::uint8_t>(statusSender_))
                          : entry(viewedAddress());
    return Access(std::move(hold), data);
}

BoardState::Access BoardState::received(std::uint8_t address, bool statusFrame) {
    std::unique_lock hold(mutex_);
    lastHeard_ = address;
    if (statusFrame) {
        statusSender_ = address;
    }
    return Access(std::move(hold), entry(address));
}

BoardData BoardState::snapshot() const {
    std::lock_guard hold(mutex_);
    const auto found = boards_.find(viewedAddress());
    return found != boards_.end() ? found->second : BoardData{};
}

BoardData BoardState::snapshot(std::uint8_t address) const {
    std::lock_guard hold(mutex_);
    const auto found = boards_.find(address);
    return found != boards_.end() ? found->second : BoardData{};
}

bool BoardState::isCurrent(std::uint8_t address) const {
    const std::uint8_t current = current_.load();
    return current == kEveryBoard || current == address;
}

void BoardState::forget(std::uint8_t address) {
    std::lock_guard hold(mutex_);
    boards_.erase(address);
}

std::vector<std::uint8_t> BoardState::known() const {
    std::lock_guard hold(mutex_);
    std::vector<std::uint8_t> addresses;
    for (const auto& [address, data] : boards_) {
        addresses.push_back(address);
    }
    return addresses;
}

}  // namespace horalux::link
