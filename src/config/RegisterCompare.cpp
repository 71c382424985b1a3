#include "config/RegisterCompare.h"

#include <array>
#include <cstdio>

#include "config/Codec.h"

namespace horalux::config {
namespace {

const char* fieldName(Field field) {
    static constexpr std::array<const char*, 19> kNames = {
        "displayTimes", "timeZone",        "lowerLevel",     "dimStart",    "dimEnd",
        "freeS6",       "alarm1",          "alarm2",         "signalFlags", "volume",
        "dimLevel",     "normalLevel",     "address",        "modeFlags",   "upperLevel",
        "freeSE",       "dailyCorrection", "displayFormats", "userScreens"};
    return kNames[static_cast<std::size_t>(field)];
}

}  // namespace

std::string registerLabel(const RegisterEntry& entry) {
    std::string label = fieldName(entry.field);
    if (entry.field == Field::DisplayTimes || entry.field == Field::DisplayFormats ||
        entry.field == Field::UserScreens) {
        label += "[" + std::to_string(entry.index) + "]";
    }
    return label;
}

std::string registerValueText(const RegisterImage& image, const RegisterEntry& entry) {
    const std::uint8_t high = *readRegister(image, entry.number);
    if (entry.field == Field::LowerLevel || entry.field == Field::UpperLevel) {
        return std::to_string(high <= 128 ? int{high} : int{high} - 256);  // 0x80 counts as +128
    }
    if (entry.half != Half::High) {
        return std::to_string(high);
    }
    const std::uint8_t low = *readRegister(image, static_cast<std::uint8_t>(entry.number + 1));
    const auto word = static_cast<std::uint16_t>(high * 256U + low);
    if (entry.field == Field::DailyCorrection) {
        return std::to_string(high == 0x80 ? -int{low} : int{low});
    }
    const auto time = bcdTime(word);
    if (!time) {
        return high == 0x25 ? "off" : "invalid (" + std::to_string(word) + ")";
    }
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", time->first, time->second);
    return text;
}

std::vector<RegisterDifference> compareImages(const RegisterImage& board,
                                              const RegisterImage& file) {
    std::vector<RegisterDifference> result;
    for (const std::uint8_t reg : kReadList) {
        const RegisterEntry* entry = findRegister(reg);
        if (entry == nullptr || entry->half == Half::Low || reg == kAddressRegister ||
            reg == kModeFlagsRegister) {
            continue;
        }
        std::string onBoard = registerValueText(board, *entry);
        std::string inFile = registerValueText(file, *entry);
        if (onBoard != inFile) {
            result.push_back({reg, registerLabel(*entry), std::move(onBoard), std::move(inFile)});
        }
    }
    return result;
}

}  // namespace horalux::config
