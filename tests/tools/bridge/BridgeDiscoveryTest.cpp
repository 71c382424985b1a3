#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "BridgeNames.h"
#include "Discovery.h"

namespace horalux::bridge {
namespace {

using nlohmann::json;

const BoardDevice kDevice{"horalux", "/dev/ttyUSB0", 77, "1.2.3"};

BoardShape fullShape() {
    BoardShape shape;
    shape.temperatures = {true, true, true};
    shape.pressure = shape.humidity = shape.radiation = true;
    shape.fieldDigits = {4, 6};
    return shape;
}

std::string componentOf(const std::string& topic) {
    const std::size_t first = topic.find('/') + 1;
    return topic.substr(first, topic.find('/', first) - first);
}

TEST(BridgeNames, LineNamesBecomeOneTopicLevelAndIdsStayStable) {
    EXPECT_EQ(deviceId("/dev/ttyUSB0", 77), "horalux_ttyUSB0_77");
    EXPECT_EQ(topicSafeLineName("tcp://host.lan:4001"), "tcp___host_lan_4001");
    EXPECT_EQ(topicSafeLineName("/dev/pts/3"), "pts_3");
    EXPECT_EQ(topicSafeLineName("a+#b"), "a__b");
    EXPECT_EQ(topicSafeLineName(""), "port");
    const BoardTopics topics = boardTopics("horalux", "/dev/ttyUSB0", 77);
    EXPECT_EQ(topics.availability(), "horalux/ttyUSB0/77/availability");
    EXPECT_EQ(topics.command("mode"), "horalux/ttyUSB0/77/mode/set");
    EXPECT_EQ(bridgeStatusTopic("horalux", "/dev/ttyUSB0"), "horalux/ttyUSB0/status");
}

TEST(BridgeDiscovery, EveryConfigHoldsWhatItsComponentNeeds) {
    const std::vector<Message> messages = discoveryMessages(kDevice, fullShape(), "homeassistant");
    std::set<std::string> uniqueIds;
    std::map<std::string, json> byKey;
    for (const Message& m : messages) {
        SCOPED_TRACE(m.topic);
        ASSERT_EQ(m.topic.rfind("homeassistant/", 0), 0U);
        ASSERT_EQ(m.topic.substr(m.topic.size() - 7), "/config");
        if (m.payload.empty()) {
            continue;  // fields past the board's two
        }
        const json c = json::parse(m.payload);  // throws, failing the test, when not JSON
        const std::string component = componentOf(m.topic);
        EXPECT_TRUE(uniqueIds.insert(c.at("unique_id").get<std::string>()).second);
        EXPECT_EQ(c.at("device").at("identifiers"), json::array({"horalux_ttyUSB0_77"}));
        EXPECT_EQ(c.at("device").at("name"), "/dev/ttyUSB0 $4D/77");
        EXPECT_EQ(c.at("device").at("sw_version"), "1.2.3");
        EXPECT_EQ(c.at("availability"),
                  json::parse(R"([{"topic":"horalux/ttyUSB0/status"},)"
                              R"({"topic":"horalux/ttyUSB0/77/availability"}])"));
        EXPECT_EQ(c.at("availability_mode"), "all");
        if (component == "sensor" || component == "text" || component == "select") {
            EXPECT_EQ(c.at("state_topic").get<std::string>().rfind("horalux/ttyUSB0/77/", 0), 0U);
        }
        if (component == "text" || component == "select" || component == "button") {
            EXPECT_EQ(c.at("command_topic").get<std::string>().substr(0, 19),
                      "horalux/ttyUSB0/77/");
        }
        if (component == "sensor") {
            EXPECT_FALSE(c.contains("command_topic"));
        }
        const std::string key = m.topic.substr(0, m.topic.size() - 7);
        byKey[key.substr(key.rfind('/') + 1)] = c;
    }
    // 6 weather sensors, the main text, the clock, the mode, the button and 2 fields.
    ASSERT_EQ(byKey.size(), 12U);
    EXPECT_EQ(byKey["temperature_2"].at("device_class"), "temperature");
    EXPECT_EQ(byKey["temperature_2"].at("unit_of_measurement"), "°C");
    EXPECT_EQ(byKey["temperature_2"].at("state_class"), "measurement");
    EXPECT_EQ(byKey["pressure"].at("device_class"), "atmospheric_pressure");
    EXPECT_EQ(byKey["pressure"].at("unit_of_measurement"), "mmHg");
    EXPECT_EQ(byKey["humidity"].at("unit_of_measurement"), "%");
    EXPECT_EQ(byKey["clock_difference"].at("entity_category"), "diagnostic");
    EXPECT_EQ(byKey["clock_difference"].at("unit_of_measurement"), "s");
    EXPECT_EQ(byKey["mode"].at("options"), json::array({"master", "slave"}));
    EXPECT_EQ(byKey["sync_time"].at("name"), "Синхронизировать время");
    EXPECT_EQ(byKey["sync_time"].at("command_topic"), "horalux/ttyUSB0/77/sync_time/set");
    EXPECT_EQ(byKey["field_1"].at("max"), 12);
    // Home Assistant's rule for a text state: no longer than max, matching the pattern. What a
    // 4-digit field reads back as, every point lit or none, and what is typed into it.
    const std::regex pattern(byKey["field_0"].at("pattern").get<std::string>());
    const std::size_t max = byKey["field_0"].at("max").get<std::size_t>();
    for (const std::string shown : {"1.2.3.4.", "7.5  ", "12.34", "-_  ", "    ", ".1.2.3"}) {
        EXPECT_LE(shown.size(), max) << shown;
        EXPECT_TRUE(std::regex_match(shown, pattern)) << shown;
    }
    EXPECT_FALSE(std::regex_match(std::string("12a"), pattern));
    EXPECT_EQ(byKey["field_1"].at("state_topic"), "horalux/ttyUSB0/77/field_1");
    EXPECT_EQ(byKey["field_1"].at("command_topic"), "horalux/ttyUSB0/77/field_1/set");
}

TEST(BridgeDiscovery, SensorsSwitchedOffAndRemovedBoardsGetEmptyConfigs) {
    BoardShape shape = fullShape();
    shape.temperatures[2] = false;
    shape.radiation = false;
    std::map<std::string, std::string> byTopic;
    for (const Message& m : discoveryMessages(kDevice, shape, "homeassistant")) {
        byTopic[m.topic] = m.payload;
    }
    EXPECT_EQ(byTopic.at("homeassistant/sensor/horalux_ttyUSB0_77/temperature_3/config"), "");
    EXPECT_EQ(byTopic.at("homeassistant/sensor/horalux_ttyUSB0_77/radiation/config"), "");
    EXPECT_NE(byTopic.at("homeassistant/sensor/horalux_ttyUSB0_77/temperature_1/config"), "");
    EXPECT_EQ(byTopic.at("homeassistant/text/horalux_ttyUSB0_77/field_2/config"), "");

    // Removal empties every topic a config ever went to.
    const std::vector<Message> removal = removalMessages(kDevice, "homeassistant");
    EXPECT_EQ(removal.size(), byTopic.size());
    for (const Message& m : removal) {
        EXPECT_TRUE(byTopic.contains(m.topic)) << m.topic;
        EXPECT_EQ(m.payload, "") << m.topic;
    }
}

}  // namespace
}  // namespace horalux::bridge
