#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "BoardValues.h"

namespace horalux::bridge {
namespace {

link::BoardData weatherBoard() {
    link::BoardData data;
    data.BoardCopy.displayFormats = {2, 2, 3, 4, 4, 4, 4, 3};
    data.MainFieldTexts[0] = "12.30";
    // The texts would round or drop the sign ("03", " 21°"); the numbers are what is published.
    data.MainFieldTexts[3] = " 21°";
    data.SensorFieldTexts[1] = "03";
    data.Measured.temperatureHundredths = {-325, 2150, 0};
    data.Measured.pressureMmHg = 745;
    data.Measured.humidityPercent = 56;
    data.Measured.radiationThousandths = 13;
    data.UserFieldCount = 2;
    data.UserFieldTexts[0] = "12.5";
    data.UserFieldTexts[1] = "--";
    return data;
}

TEST(BoardValues, ABoardsValuesAreItsMeasuredNumbersWhileItsSensorIsOn) {
    link::BoardData data = weatherBoard();
    data.SentStatus = true;
    BoardValues values = boardValuesOf(data, {.master = true, .clockDifferenceS = -2});
    EXPECT_EQ(values.temperatures[0], "-3.25");
    EXPECT_EQ(values.temperatures[1], "21.5");
    EXPECT_EQ(values.temperatures[2], "0");
    EXPECT_EQ(values.pressure, "745");
    EXPECT_EQ(values.humidity, "56");
    EXPECT_EQ(values.radiation, "0.013");
    EXPECT_EQ(values.mainText, "12.30");
    EXPECT_EQ(values.mode, "master");
    EXPECT_EQ(values.clockDifference, "-2");
    EXPECT_EQ(values.userFields, (std::vector<std::string>{"12.5", "--"}));

    // Switched off, a sensor is absent although a number came for it; no reading is absent too.
    data.BoardCopy.displayFormats[3] = 0;
    data.BoardCopy.displayFormats[4] = 0;
    data.BoardCopy.displayFormats[6] = 0;
    data.Measured.temperatureHundredths[0].reset();
    values = boardValuesOf(data, {});
    EXPECT_EQ(values.temperatures[0], std::nullopt);
    EXPECT_EQ(values.temperatures[2], std::nullopt);
    EXPECT_EQ(values.pressure, std::nullopt);
    EXPECT_EQ(values.radiation, std::nullopt);
    EXPECT_EQ(values.mode, std::nullopt);
    EXPECT_EQ(values.clockDifference, std::nullopt);

    const auto messages = stateMessages(values, lineNames("h", "node", "ttyUSB0").board(77));
    for (const auto& [topic, payload] : messages) {
        EXPECT_NE(topic, "h/node/ttyUSB0/77/pressure");
        EXPECT_NE(topic, "h/node/ttyUSB0/77/temperature_3");
    }
    EXPECT_EQ(messages.front(),
              std::make_pair(std::string("h/node/ttyUSB0/77/temperature_2"), std::string("21.5")));

    // Before any status frame nothing is known: nothing at all, never 0.
    link::BoardData fresh;
    fresh.BoardCopy.displayFormats = data.BoardCopy.displayFormats;
    EXPECT_TRUE(
        stateMessages(boardValuesOf(fresh, {}), lineNames("h", "node", "x").board(1)).empty());
}

TEST(BoardValues, AReadingThatGoesAwayIsPublishedAsUnknownOnceAndANewOneAsItsNumber) {
    const BoardTopics topics = lineNames("h", "node", "ttyUSB0").board(1);
    link::BoardData data = weatherBoard();
    BoardStates states;
    using Messages = std::vector<std::pair<std::string, std::string>>;
    auto payloadOf = [](const Messages& messages, const std::string& topic) {
        for (const auto& [t, p] : messages) {
            if (t == topic) {
                return std::optional<std::string>(p);
            }
        }
        return std::optional<std::string>();
    };
    Messages first = states.messages(
        boardValuesOf(data, {.master = std::nullopt, .clockDifferenceS = 3}), topics);
    EXPECT_EQ(payloadOf(first, "h/node/ttyUSB0/1/pressure"), "745");

    // The sensor stops answering and the clock is not read: both unknown, the rest as before.
    data.Measured.pressureMmHg.reset();
    Messages gone = states.messages(boardValuesOf(data, {}), topics);
    EXPECT_EQ(payloadOf(gone, "h/node/ttyUSB0/1/pressure"), "None");
    EXPECT_EQ(payloadOf(gone, "h/node/ttyUSB0/1/clock_difference"), "None");
    EXPECT_EQ(payloadOf(gone, "h/node/ttyUSB0/1/humidity"), "56");

    // Still gone: nothing more is said of it; back: its number.
    EXPECT_EQ(
        payloadOf(states.messages(boardValuesOf(data, {}), topics), "h/node/ttyUSB0/1/pressure"),
        std::nullopt);
    data.Measured.pressureMmHg = 744;
    EXPECT_EQ(
        payloadOf(states.messages(boardValuesOf(data, {}), topics), "h/node/ttyUSB0/1/pressure"),
        "744");

    // Every numeric state is a plain number: a sign, digits and at most one point.
    for (const auto& [topic, payload] : first) {
        if (topic.ends_with("main_text") || topic.find("field_") != std::string::npos) {
            continue;
        }
        std::size_t used = 0;
        EXPECT_NO_THROW(EXPECT_TRUE(std::isfinite(std::stod(payload, &used)))) << topic;
        EXPECT_EQ(used, payload.size()) << topic << " " << payload;
    }
}

}  // namespace
}  // namespace horalux::bridge
