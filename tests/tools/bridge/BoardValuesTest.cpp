#include <gtest/gtest.h>

#include "BoardValues.h"

namespace horalux::bridge {
namespace {

struct TextCase {
    const char* text;
    std::optional<std::string> value;
};

TEST(BoardValues, DisplayedTextsReadBackAsTheirNumbers) {
    // Every form the decoder makes, main field and sensor field alike.
    const TextCase temperatures[] = {
        {"-03", "-3"},           {"03", "3"},          {" -03°", "-3"},
        {"21°", "21"},           {" 05°C", "5"},       {" -03.25°", "-3.25"},
        {"-03.25", "-3.25"},     {"21.05°C", "21.05"}, {"00", "0"},
        {"", std::nullopt},      {"--", std::nullopt}, {"3.", std::nullopt},
        {"12-30", std::nullopt},
    };
    for (const auto& [text, value] : temperatures) {
        EXPECT_EQ(temperatureOfText(text), value) << text;
    }
    const TextCase pressures[] = {
        {"P745", "745"},    {"P 745", "745"},        {"745", "745"},
        {"", std::nullopt}, {"P7123", std::nullopt}, {"P7", std::nullopt},
    };
    for (const auto& [text, value] : pressures) {
        EXPECT_EQ(pressureOfText(text), value) << text;
    }
    const TextCase humidities[] = {
        {"56%", "56"},   {" 05%", "5"},      {"56", "56"},
        {"100%", "100"}, {"", std::nullopt}, {"5a%", std::nullopt},
    };
    for (const auto& [text, value] : humidities) {
        EXPECT_EQ(humidityOfText(text), value) << text;
    }
    const TextCase radiations[] = {
        {"0.013", "0.013"},
        {" 0.013", "0.013"},
        {"0.0110", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, value] : radiations) {
        EXPECT_EQ(radiationOfText(text), value) << text;
    }
}

link::BoardData weatherBoard() {
    link::BoardData data;
    data.BoardCopy.displayFormats = {2, 2, 3, 4, 4, 4, 4, 3};
    data.MainFieldTexts[0] = "12.30";
    data.MainFieldTexts[3] = " -03.25°";
    data.MainFieldTexts[4] = " 18°";
    data.SensorFieldTexts[1] = "03";  // the absolute value: not to be trusted for the sign
    data.SensorFieldTexts[2] = "18";
    data.SensorFieldTexts[3] = "00°";
    data.MainFieldTexts[6] = "P745";
    data.SensorFieldTexts[4] = "P745";
    data.MainFieldTexts[7] = "56%";
    data.SensorFieldTexts[5] = "56%";
    data.SensorFieldTexts[6] = "0.013";
    data.UserFieldCount = 2;
    data.UserFieldTexts[0] = "12.5";
    data.UserFieldTexts[1] = "--";
    return data;
}

TEST(BoardValues, ABoardsValuesAreTakenWithTheirSignAndOnlyWhileItsSensorIsOn) {
    link::BoardData data = weatherBoard();
    BoardValues values = boardValuesOf(data, {.master = true, .clockDifferenceS = -2});
    EXPECT_EQ(values.temperatures[0], "-3.25");
    EXPECT_EQ(values.temperatures[1], "18");
    EXPECT_EQ(values.temperatures[2], "0");
    EXPECT_EQ(values.pressure, "745");
    EXPECT_EQ(values.humidity, "56");
    EXPECT_EQ(values.radiation, "0.013");
    EXPECT_EQ(values.mainText, "12.30");
    EXPECT_EQ(values.mode, "master");
    EXPECT_EQ(values.clockDifference, "-2");
    EXPECT_EQ(values.userFields, (std::vector<std::string>{"12.5", "--"}));

    // Switched off, a sensor is absent although its old text still reads as a number.
    data.BoardCopy.displayFormats[3] = 0;
    data.BoardCopy.displayFormats[4] = 0;
    data.BoardCopy.displayFormats[6] = 0;
    values = boardValuesOf(data, {});
    EXPECT_EQ(values.temperatures[2], std::nullopt);
    EXPECT_EQ(values.pressure, std::nullopt);
    EXPECT_EQ(values.radiation, std::nullopt);
    EXPECT_EQ(values.mode, std::nullopt);
    EXPECT_EQ(values.clockDifference, std::nullopt);

    const auto messages = stateMessages(values, boardTopics("h", "ttyUSB0", 77));
    for (const auto& [topic, payload] : messages) {
        EXPECT_NE(topic, "h/ttyUSB0/77/pressure");
        EXPECT_NE(topic, "h/ttyUSB0/77/temperature_3");
    }
    EXPECT_EQ(messages.front(),
              std::make_pair(std::string("h/ttyUSB0/77/temperature_1"), std::string("-3.25")));

    // Before any status frame nothing is known: nothing at all, never 0.
    link::BoardData fresh;
    fresh.BoardCopy.displayFormats = data.BoardCopy.displayFormats;
    EXPECT_TRUE(stateMessages(boardValuesOf(fresh, {}), boardTopics("h", "x", 1)).empty());
}

TEST(BoardValues, ASensorWithNoReadingIsAbsentThoughItsTextReadsZero) {
    link::BoardData data = weatherBoard();
    data.MainFieldTexts[3] = "00°";
    data.SensorFieldTexts[1] = "00";
    data.TemperatureNoReading[0] = true;
    EXPECT_EQ(boardValuesOf(data, {}).temperatures[0], std::nullopt);
    data.TemperatureNoReading[0] = false;  // a real 0 °C
    EXPECT_EQ(boardValuesOf(data, {}).temperatures[0], "0");
}

TEST(BoardValues, ASignlessSensorTextAloneLeavesTheTemperatureAbsent) {
    link::BoardData data = weatherBoard();
    data.MainFieldTexts[3].clear();  // a style that builds no main text
    EXPECT_EQ(boardValuesOf(data, {}).temperatures[0], std::nullopt);
    data.BoardCopy.displayFormats[1] = 3;  // signed sensor format
    data.SensorFieldTexts[1] = "-03";
    EXPECT_EQ(boardValuesOf(data, {}).temperatures[0], "-3");
}

}  // namespace
}  // namespace horalux::bridge
