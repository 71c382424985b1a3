#include "timesync/KeepPeriod.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace horalux::timesync {
namespace {

// The tick compares times less than 24 days apart; a week is more than any board needs.
constexpr std::uint32_t kLongestPeriodS = 7U * 24 * 3600;

struct Unit {
    char letter;
    std::uint32_t seconds;
    const char* name;
};
constexpr Unit kUnits[] = {
    {'d', 24 * 3600, "d"}, {'h', 3600, "h"}, {'m', 60, "min"}, {'s', 1, "s"}};

}  // namespace

std::optional<std::uint32_t> parseKeepPeriod(const std::string& text) {
    if (text.size() < 2) {
        return std::nullopt;
    }
    const auto* unit = std::find_if(std::begin(kUnits), std::end(kUnits),
                                    [&](const Unit& u) { return u.letter == text.back(); });
    if (unit == std::end(kUnits)) {
        return std::nullopt;
    }
    // Digits only: from_chars alone would take a sign.
    const char* first = text.data();
    const char* last = text.data() + text.size() - 1;
    if (!std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::uint32_t count = 0;
    const auto [end, ec] = std::from_chars(first, last, count);
    if (ec != std::errc{} || end != last || count < 1 || count > kLongestPeriodS / unit->seconds) {
        return std::nullopt;
    }
    return count * unit->seconds;
}

std::string periodText(std::uint32_t seconds) {
    for (const Unit& unit : kUnits) {
        if (seconds % unit.seconds == 0) {
            return std::to_string(seconds / unit.seconds) + " " + unit.name;
        }
    }
    return std::to_string(seconds) + " s";
}

}  // namespace horalux::timesync
