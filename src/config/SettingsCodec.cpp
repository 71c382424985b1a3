#include "config/SettingsCodec.h"

#include <cstdlib>
#include <optional>
#include <utility>

#include "config/Codec.h"
#include "config/Codes.h"
#include "config/RegisterMap.h"
#include "config/SettingsControls.h"
#include "settings/DecimalText.h"

namespace horalux::config {

namespace {

std::string noChoice(std::string_view label) {
    return "Не выбрано значение: " + std::string(label);
}

std::string notAnInteger(const std::string& text) {
    return "'" + text + "' is not a valid integer value";
}

// Encoding into a copy: the first failure stops it and is kept for the caller.
class Encoder {
  public:
    Encoder(const SettingsModel& model, RegisterImage image) : model_(model), image_(image) {}

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& failedList() const { return failedList_; }
    const RegisterImage& image() const { return image_; }

    std::optional<int> chosen(std::string_view list, std::string_view label) {
        const std::optional<int> position = model_.position(list);
        if (!position) {
            fail(noChoice(label), list);
        }
        return position;
    }
    std::optional<int> number(std::string_view list) {
        const std::string text = model_.text(list);
        const std::optional<std::int32_t> value = settings::parseInteger(text);
        if (!value) {
            fail(notAnInteger(text), list);
        }
        return value;
    }
    void byte(std::uint8_t reg, int value) {
        storeRegister(image_, reg, static_cast<std::uint8_t>(value));
    }
    void word(std::uint8_t reg, unsigned value) {
        byte(reg, static_cast<int>(value >> 8));
        byte(static_cast<std::uint8_t>(reg + 1), static_cast<int>(value & 0xFF));
    }
    std::uint8_t flags(std::span<const FlagBox> boxes) const {
        unsigned sum = 0;
        for (const FlagBox& box : boxes) {
            sum |= model_.checked(box.name) ? box.bit : 0u;
        }
        return static_cast<std::uint8_t>(sum);
    }

  private:
    void fail(std::string message, std::string_view list) {
        if (error_.empty()) {
            error_ = std::move(message);
            failedList_ = list;
        }
    }

    const SettingsModel& model_;
    RegisterImage image_;
    std::string error_;
    std::string failedList_;
};

void encodeRows(Encoder& e, const SettingsModel& model) {
    for (const PositionList& l : kDisplayTimeLists) {
        if (auto p = e.chosen(l.name, l.label)) {
            e.byte(l.reg, *p);
        }
    }
    for (const TemperatureLists& l : kTemperatureLists) {
        const auto time = e.chosen(l.time, l.label);
        const auto format = e.chosen(l.format, l.label);
        if (time && format) {
            e.byte(l.reg, *time + 10 * *format);
        }
    }
    for (const PositionList& l : kByteLists) {
        if (auto p = e.chosen(l.name, l.label)) {
            e.byte(l.reg, *p);
        }
    }
    e.byte(kModeFlagsRegister, e.flags(kModeBoxes));
    e.byte(66, e.flags(kSignalBoxes));
    for (std::size_t k = 0; k < kUserScreenCount; ++k) {
        const std::string name = userScreenListName(k);
        if (auto p = e.chosen(name, "Польз. экраны " + std::to_string(k + 1))) {
            e.byte(static_cast<std::uint8_t>(kUserScreensRegister + k), *p);
        }
    }
    for (std::size_t kind = 0; kind < kFormatLists.size(); ++kind) {
        if (auto p = e.chosen(kFormatLists[kind], kFormatLabels[kind])) {
            const auto code = CountPos(static_cast<int>(kind), *p, true);
            e.byte(static_cast<std::uint8_t>(kDisplayFormatsRegister + kind), code.value_or(0));
        }
    }
    if (auto p = e.chosen(kTimeZoneList, "Часовой пояс")) {
        e.byte(55, TimeZoneCodes.at(static_cast<std::size_t>(*p)));
    }
    for (const PositionList& l : kPercentLists) {
        if (auto p = e.chosen(l.name, l.label)) {
            e.byte(l.reg, PercentCodes.at(static_cast<std::size_t>(*p)));
        }
    }
    if (e.failed()) {
        return;  // the conversion error of a text list would only hide the first problem
    }
    for (const PositionList& l : kLevelLists) {
        if (auto v = e.number(l.name)) {
            e.byte(l.reg, *v);  // two's complement: -1 is 0xFF
        }
        if (e.failed()) {
            return;
        }
    }
    if (auto v = e.number(kCorrectionList)) {
        e.word(81, (*v < 0 ? 0x8000u : 0u) | static_cast<unsigned>(std::abs(*v)));
    }
    for (const TimeControls& t : kTimeControls) {
        const TimePicker& picker = model.picker(t.picker);
        e.word(t.reg, model.checked(t.checkBox)
                          ? ToBcd(picker.hour) * 256u +
                                ToBcd(picker.minute)
                          : kTimeOff);
    }
}

std::uint8_t registerOf(const RegisterImage& image, std::uint8_t reg) {
    return readRegister(image, reg).value_or(0);
}

std::uint16_t wordOf(const RegisterImage& image, std::uint8_t reg) {
    return static_cast<std::uint16_t>(registerOf(image, reg) * 256u +
                                      registerOf(image, static_cast<std::uint8_t>(reg + 1)));
}

void decode(const RegisterImage& image, SettingsModel& model) {
    for (const PositionList& l : kDisplayTimeLists) {
        model.setItems(l.name, displayTimeItems(kDisplayTimeMax));
        model.setPosition(l.name, registerOf(image, l.reg));
    }
    for (const TemperatureLists& l : kTemperatureLists) {
        model.setItems(l.time, displayTimeItems(kTemperatureTimeMax));
        const int value = registerOf(image, l.reg);
        model.setPosition(l.time, value % 10);
        model.setPosition(l.format, value / 10);
    }
    for (const PositionList& l : kByteLists) {
        model.setPosition(l.name, registerOf(image, l.reg));
    }
    for (const FlagBox& box : kModeBoxes) {
        model.setChecked(box.name, (image.modeFlags & box.bit) != 0);
    }
    for (const FlagBox& box : kSignalBoxes) {
        model.setChecked(box.name, (image.signalFlags & box.bit) != 0);
    }
    for (std::size_t k = 0; k < kUserScreenCount; ++k) {
        model.setPosition(userScreenListName(k), image.userScreens[k]);
    }
    for (std::size_t kind = 0; kind < kFormatLists.size(); ++kind) {
        model.setPosition(kFormatLists[kind],
                          CountPos(static_cast<int>(kind), image.displayFormats[kind], false));
    }
    model.setPosition(kTimeZoneList, kTimeZoneFallbackPosition);
    for (std::size_t j = 0; j < TimeZoneCodes.size(); ++j) {
        if (TimeZoneCodes[j] == image.timeZone) {
            model.setPosition(kTimeZoneList, static_cast<int>(j));
        }
    }
    for (const PositionList& l : kPercentLists) {
        model.setPosition(l.name, 0);
        for (std::size_t j = 0; j < PercentCodes.size(); ++j) {
            if (PercentCodes[j] == registerOf(image, l.reg)) {
                model.setPosition(l.name, static_cast<int>(j));
            }
        }
    }
    for (const TimeControls& t : kTimeControls) {
        if (const auto time = bcdTime(wordOf(image, t.reg))) {
            model.setTime(t.picker, time->first, time->second);
            model.setChecked(t.checkBox, true);
        } else {
            model.setChecked(t.checkBox, false);
        }
    }
    for (const PositionList& l : kLevelLists) {
        const int value = registerOf(image, l.reg);
        const int level = value <= 128 ? value : value - 256;  // 0x80 counts as +128
        model.setPosition(l.name, level + kLevelLimit);
    }
    const int magnitude = image.dailyCorrection & 0xFF;
    const int correction = (image.dailyCorrection >> 8) == 0x80 ? -magnitude : magnitude;
    const auto& items = model.items(kCorrectionList);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == std::to_string(correction)) {
            model.setPosition(kCorrectionList, static_cast<int>(i));
            break;
        }
    }
}

}  // namespace

EncodeResult MakeRegistrs(const SettingsModel& model, RegisterImage& editCopy) {
    Encoder encoder(model, editCopy);
    encodeRows(encoder, model);
    if (encoder.failed()) {
        return {encoder.error(), encoder.failedList()};
    }
    editCopy = encoder.image();
    return {};
}

void Stand_fields(const RegisterImage& boardCopy, SettingsModel& model) {
    decode(boardCopy, model);
}

void Stand_fields_tmp(const RegisterImage& editCopy, SettingsModel& model) {
    decode(editCopy, model);
}

}  // namespace horalux::config
