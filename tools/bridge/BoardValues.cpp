#include "BoardValues.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace horalux::bridge {
namespace {

// Main-field and sensor entries, as the decoder fills them.
constexpr std::size_t kMainFirstTemperature = 3, kMainPressure = 6, kMainHumidity = 7,
                      kMainRadiation = 8;
constexpr std::size_t kSensorPressure = 4, kSensorHumidity = 5, kSensorRadiation = 6;
// The temperature sensor format that shows the absolute value: its text has lost the sign.
constexpr std::uint8_t kAbsoluteTemperatureFormat = 2;

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// The text without the layouts' decorations: spaces and the given marks.
std::string stripped(std::string_view text, std::initializer_list<std::string_view> marks) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        const auto mark = std::find_if(marks.begin(), marks.end(), [&](std::string_view m) {
            return text.substr(i, m.size()) == m;
        });
        if (mark != marks.end()) {
            i += mark->size();
            continue;
        }
        out += text[i++];
    }
    return out;
}

std::string withoutLeadingZeros(std::string_view digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? "0" : std::string(digits.substr(first));
}

std::optional<std::string> firstOf(std::optional<std::string> a, std::optional<std::string> b) {
    return a ? a : b;
}

}  // namespace

std::optional<std::string> temperatureOfText(std::string_view text) {
    // "-03", " 21°", " -03.25°", "-03.25°C" (cut to "-03.25"), "05°C".
    std::string t = stripped(text, {"°C", "°"});
    const bool negative = !t.empty() && t.front() == '-';
    if (negative) {
        t.erase(0, 1);
    }
    const std::size_t dot = t.find('.');
    const std::string_view whole = std::string_view(t).substr(0, dot);
    if (!allDigits(whole)) {
        return std::nullopt;
    }
    std::string value = (negative ? "-" : "") + withoutLeadingZeros(whole);
    if (dot != std::string::npos) {
        const std::string_view hundredths = std::string_view(t).substr(dot + 1);
        if (!allDigits(hundredths)) {
            return std::nullopt;
        }
        value += "." + std::string(hundredths);
    }
    return value == "-0" ? std::string("0") : value;
}

std::optional<std::string> pressureOfText(std::string_view text) {
    // "P745", "P 745", "745": 700 and the two digits the board sends; a byte past 99 gives more.
    const std::string p = stripped(text, {"P"});
    if (p.size() != 3 || p.front() != '7' || !allDigits(p)) {
        return std::nullopt;
    }
    return p;
}

std::optional<std::string> humidityOfText(std::string_view text) {
    const std::string u = stripped(text, {"%"});
    if (u.size() > 3 || !allDigits(u)) {
        return std::nullopt;
    }
    return withoutLeadingZeros(u);
}

std::optional<std::string> radiationOfText(std::string_view text) {
    // "0." and three one-digit bytes; a byte past 9 would print more than one digit.
    const std::string r = stripped(text, {});
    if (r.size() != 5 || r.substr(0, 2) != "0." || !allDigits(r.substr(2))) {
        return std::nullopt;
    }
    return r;
}

BoardValues boardValuesOf(const link::BoardData& data, const BoardExtras& extras) {
    BoardValues values;
    const auto& formats = data.BoardCopy.displayFormats;
    const auto& main = data.MainFieldTexts;
    const auto& sensor = data.SensorFieldTexts;
    for (std::size_t n = 0; n < 3; ++n) {
        const std::uint8_t format = formats[1 + n];
        if (format == 0 || data.TemperatureNoReading[n]) {
            continue;
        }
        // The main field's text keeps the sign and, in some styles, the hundredths.
        values.temperatures[n] = firstOf(
            temperatureOfText(main[kMainFirstTemperature + n]),
            format == kAbsoluteTemperatureFormat ? std::nullopt : temperatureOfText(sensor[1 + n]));
    }
    if (formats[4] != 0) {
        values.pressure =
            firstOf(pressureOfText(main[kMainPressure]), pressureOfText(sensor[kSensorPressure]));
    }
    if (formats[5] != 0) {
        values.humidity =
            firstOf(humidityOfText(main[kMainHumidity]), humidityOfText(sensor[kSensorHumidity]));
    }
    if (formats[6] != 0) {
        values.radiation = firstOf(radiationOfText(main[kMainRadiation]),
                                   radiationOfText(sensor[kSensorRadiation]));
    }
    if (const std::string_view shown = link::currentMainText(data); !shown.empty()) {
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

}  // namespace horalux::bridge
