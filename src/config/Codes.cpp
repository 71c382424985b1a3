#include "config/Codes.h"

#include <string>

namespace horalux::config {

namespace {

constexpr DisplayFormatItem kMainView[] = {
    {0, "0 нет"},   {2, "2 1245_"},           {3, "3 12.45.00 эксп. вр."}, {4, "4 12.45_"},
    {5, "5 12-45"}, {6, "6 12.45.00 всегда"}, {7, "7 12-45.00 эксп. вр."}, {8, "8 12.45.00 всегда"},
};
constexpr DisplayFormatItem kTemperature[] = {
    {0, "0 нет"}, {2, "2 12"}, {3, "3 -12"}, {4, "4 -12*"}, {5, "5 -12*C"},
};
constexpr DisplayFormatItem kPressure[] = {
    {0, "0 нет"},
    {3, "3 762"},
    {4, "4 P762"},
    {5, "5 P_762"},
};
constexpr DisplayFormatItem kHumidity[] = {
    {0, "0 нет"},
    {2, "2 99"},
    {4, "4 99%"},
    {5, "5 _99%"},
};
constexpr DisplayFormatItem kRadiation[] = {
    {0, "0 нет"},
    {4, "4 0.013"},
    {5, "5 _0.013"},
};
constexpr DisplayFormatItem kDate[] = {
    {0, "0 нет"},
    {3, "3 дд.мм"},
    {4, "4 ддмм"},
    {5, "5 дд_мм"},
};

constexpr std::array<std::span<const DisplayFormatItem>, kDisplayFormatKinds> kFormatLists = {
    kMainView, kTemperature, kTemperature, kTemperature, kPressure, kHumidity, kRadiation, kDate,
};

}  // namespace

// Built from whole numbers rather than with printf, whose decimal point follows the process
// locale (set from the environment by the window toolkit) and may be more than one byte.
std::string timeZoneItemText(std::size_t item, char decimalSeparator) {
    const long halfHours = static_cast<long>(item) - 24;
    const long magnitude = halfHours < 0 ? -halfHours : halfHours;
    std::string text = halfHours < 0 ? "-" : "";
    text += std::to_string(magnitude / 2);
    text += decimalSeparator;
    text += magnitude % 2 != 0 ? '5' : '0';
    return text;
}

std::span<const DisplayFormatItem> displayFormatItems(std::size_t kind) {
    return kind < kFormatLists.size() ? kFormatLists[kind] : std::span<const DisplayFormatItem>{};
}

std::optional<int> CountPos(int kind, int value, bool toCode) {
    if (kind < 0) {
        return std::nullopt;
    }
    const auto items = displayFormatItems(static_cast<std::size_t>(kind));
    if (toCode) {
        if (value < 0 || static_cast<std::size_t>(value) >= items.size()) {
            return std::nullopt;
        }
        return items[static_cast<std::size_t>(value)].code;
    }
    for (std::size_t p = 0; p < items.size(); ++p) {
        if (items[p].code == value) {
            return static_cast<int>(p);
        }
    }
    return std::nullopt;
}

}  // namespace horalux::config
