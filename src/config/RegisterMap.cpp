#include "config/RegisterMap.h"

namespace horalux::config {

namespace {

constexpr std::array<std::uint8_t, kReadListLength> makeReadList() {
    std::array<std::uint8_t, kReadListLength> list{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < 9; ++i) {
        list[n++] = displayTimeRegister(i);
    }
    for (unsigned r = 55; r <= 69; ++r) {
        list[n++] = static_cast<std::uint8_t>(r);
    }
    for (unsigned r = 76; r <= 82; ++r) {
        list[n++] = static_cast<std::uint8_t>(r);
    }
    for (unsigned r = 216; r <= 255; ++r) {
        list[n++] = static_cast<std::uint8_t>(r);
    }
    return list;
}

// Register number -> position in kRegisterMap + 1 (0: no field).
constexpr std::array<std::uint8_t, 256> kLookup = [] {
    std::array<std::uint8_t, 256> lookup{};
    for (std::size_t i = 0; i < kRegisterMap.size(); ++i) {
        lookup[kRegisterMap[i].number] = static_cast<std::uint8_t>(i + 1);
    }
    return lookup;
}();

// Works on const and mutable images alike.
template <class Image>
auto byteField(Image& image, Field field, std::size_t index) -> decltype(&image.timeZone) {
    switch (field) {
        case Field::DisplayTimes:
            return &image.displayTimes.at(index);
        case Field::TimeZone:
            return &image.timeZone;
        case Field::LowerLevel:
            return &image.lowerLevel;
        case Field::FreeS6:
            return &image.freeS6;
        case Field::SignalFlags:
            return &image.signalFlags;
        case Field::Volume:
            return &image.volume;
        case Field::DimLevel:
            return &image.dimLevel;
        case Field::NormalLevel:
            return &image.normalLevel;
        case Field::Address:
            return &image.address;
        case Field::ModeFlags:
            return &image.modeFlags;
        case Field::UpperLevel:
            return &image.upperLevel;
        case Field::FreeSE:
            return &image.freeSE;
        case Field::DisplayFormats:
            return &image.displayFormats.at(index);
        case Field::UserScreens:
            return &image.userScreens.at(index);
        default:
            return nullptr;
    }
}

template <class Image>
auto wordField(Image& image, Field field) -> decltype(&image.dimStart) {
    switch (field) {
        case Field::DimStart:
            return &image.dimStart;
        case Field::DimEnd:
            return &image.dimEnd;
        case Field::Alarm1:
            return &image.alarm1;
        case Field::Alarm2:
            return &image.alarm2;
        case Field::DailyCorrection:
            return &image.dailyCorrection;
        default:
            return nullptr;
    }
}

}  // namespace

constinit const std::array<std::uint8_t, kReadListLength> kReadList = makeReadList();

const RegisterEntry* findRegister(std::uint8_t number) {
    const std::uint8_t slot = kLookup[number];
    return slot == 0 ? nullptr : &kRegisterMap[slot - 1u];
}

std::optional<std::uint8_t> readRegister(const RegisterImage& image, std::uint8_t number) {
    const RegisterEntry* entry = findRegister(number);
    if (entry == nullptr) {
        return std::nullopt;
    }
    if (entry->half == Half::Byte) {
        return *byteField(image, entry->field, entry->index);
    }
    const std::uint16_t word = *wordField(image, entry->field);
    return static_cast<std::uint8_t>(entry->half == Half::High ? word >> 8 : word & 0xFF);
}

bool storeRegister(RegisterImage& image, std::uint8_t number, std::uint8_t value) {
    const RegisterEntry* entry = findRegister(number);
    if (entry == nullptr) {
        return false;
    }
    if (entry->half == Half::Byte) {
        *byteField(image, entry->field, entry->index) = value;
        return true;
    }
    std::uint16_t& word = *wordField(image, entry->field);
    word = entry->half == Half::High ? static_cast<std::uint16_t>((value << 8) | (word & 0x00FF))
                                     : static_cast<std::uint16_t>((word & 0xFF00) | value);
    return true;
}

std::array<std::uint8_t, 256> toRegisterBytes(const RegisterImage& image) {
    std::array<std::uint8_t, 256> bytes{};
    for (const RegisterEntry& entry : kRegisterMap) {
        bytes[entry.number] = *readRegister(image, entry.number);
    }
    return bytes;
}

RegisterImage fromRegisterBytes(std::span<const std::uint8_t, 256> bytes) {
    RegisterImage image;
    for (const RegisterEntry& entry : kRegisterMap) {
        storeRegister(image, entry.number, bytes[entry.number]);
    }
    return image;
}

}  // namespace horalux::config
