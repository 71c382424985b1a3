#include "BoardValues.h"

#include <algorithm>

namespace horalux::bridge {
namespace {

// "21.5" for 2150, "-3.25" for -325, "0" for 0: as short as the value allows.
std::string hundredthsText(int hundredths) {
    const int magnitude = hundredths < 0 ? -hundredths : hundredths;
    std::string text = (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100);
    const int fraction = magnitude % 100;
    if (fraction != 0) {
        text += '.';
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) {
            text += static_cast<char>('0' + fraction % 10);
        }
    }
    return text;
}

std::string thousandthsText(int thousandths) {
    std::string digits = std::to_string(thousandths % 1000);
    digits.insert(0, 3 - digits.size(), '0');
    return std::to_string(thousandths / 1000) + "." + digits;
}

template <typename T, typename F>
std::optional<std::string> shownAs(std::uint8_t format, const std::optional<T>& value, F text) {
    // A sensor field the board has off is no value of it, whatever the frame carried.
    if (format == 0 || !value) {
        return std::nullopt;
    }
    return text(*value);
}

}  // namespace

BoardValues boardValuesOf(const link::BoardData& data, const BoardExtras& extras) {
    BoardValues values;
    const auto& formats = data.BoardCopy.displayFormats;
    const link::Readings& measured = data.Measured;
    for (std::size_t n = 0; n < 3; ++n) {
        values.temperatures[n] =
            shownAs(formats[1 + n], measured.temperatureHundredths[n], hundredthsText);
    }
    auto whole = [](int v) { return std::to_string(v); };
    values.pressure = shownAs(formats[4], measured.pressureMmHg, whole);
    values.humidity = shownAs(formats[5], measured.humidityPercent, whole);
    values.radiation = shownAs(formats[6], measured.radiationThousandths, thousandthsText);
    if (const std::string_view shown = link::currentMainText(data);
        !shown.empty() && (data.SentStatus || extras.onlyBoard)) {
        values.mainText = std::string(shown);
    }
    if (extras.master) {
        values.mode = *extras.master ? "master" : "slave";
    }
    if (extras.clockDifferenceS) {
        values.clockDifference = std::to_string(*extras.clockDifferenceS);
    }
    const auto count = static_cast<std::size_t>(
        std::clamp(data.UserFieldCount, 0, static_cast<int>(link::kMaxUserFields)));
    values.userFields.assign(data.UserFieldTexts.begin(),
                             data.UserFieldTexts.begin() + static_cast<long>(count));
    return values;
}

std::vector<std::pair<std::string, std::string>> stateMessages(const BoardValues& values,
                                                               const BoardTopics& topics) {
    std::vector<std::pair<std::string, std::string>> out;
    auto add = [&](std::string_view entity, const std::optional<std::string>& value) {
        if (value) {
            out.emplace_back(topics.state(entity), *value);
        }
    };
    for (std::size_t n = 0; n < values.temperatures.size(); ++n) {
        add("temperature_" + std::to_string(n + 1), values.temperatures[n]);
    }
    add("pressure", values.pressure);
    add("humidity", values.humidity);
    add("radiation", values.radiation);
    add("main_text", values.mainText);
    add("mode", values.mode);
    add("clock_difference", values.clockDifference);
    for (std::size_t i = 0; i < values.userFields.size(); ++i) {
        add(userFieldEntity(i), values.userFields[i]);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> BoardStates::messages(const BoardValues& values,
                                                                       const BoardTopics& topics) {
    std::vector<std::pair<std::string, std::string>> out = stateMessages(values, topics);
    std::set<std::string> now;
    for (const auto& message : out) {
        now.insert(message.first);
    }
    for (const std::string& topic : shown_) {
        if (!now.contains(topic)) {
            out.emplace_back(topic, kUnknownPayload);
        }
    }
    shown_ = std::move(now);
    return out;
}

}  // namespace horalux::bridge
