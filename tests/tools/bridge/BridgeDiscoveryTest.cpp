#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "BridgeNames.h"
#include "Discovery.h"
#include "Leftovers.h"

namespace horalux::bridge {
namespace {

using nlohmann::json;

const LineNames kNames = lineNames("horalux", "pi", "/dev/ttyUSB0");
const BoardDevice kDevice{kNames, "/dev/ttyUSB0", 77, "1.2.3"};

BoardShape fullShape() {
    BoardShape shape;
    shape.temperatures = {true, true, true};
    shape.pressure = shape.humidity = shape.radiation = true;
    shape.fieldDigits = {4, 6};
    return shape;
}

TEST(BridgeNames, NodeAndLineMakeEveryTopicAndIdAndLinesThatLookAlikeStayApart) {
    EXPECT_EQ(kNames.deviceId(77), "horalux_pi_ttyUSB0_77");
    EXPECT_EQ(kNames.clientId(), "horalux_pi_ttyUSB0");
    EXPECT_EQ(kNames.statusTopic(), "horalux/pi/ttyUSB0/status");
    EXPECT_EQ(kNames.commandPattern(), "horalux/pi/ttyUSB0/+/+/set");
    const BoardTopics topics = kNames.board(77);
    EXPECT_EQ(topics.availability(), "horalux/pi/ttyUSB0/77/availability");
    EXPECT_EQ(topics.command("mode"), "horalux/pi/ttyUSB0/77/mode/set");
    // Another host, the same port: nothing in common.
    EXPECT_NE(lineNames("horalux", "nas", "/dev/ttyUSB0").deviceId(77), kNames.deviceId(77));

    struct Case {
        const char* port;
        const char* name;  // empty: only that it differs from the one before
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"/dev/pts/3", "pts_3"},  // level separators alone go without a trace
        {"", "port"},
        {"run/a_b", "run_a_b"},
        {"run/a:b", ""},  // ":" made "_" would meet run/a_b: a hash keeps it apart
        {"a+#b", ""},
        {"a#+b", ""},
    };
    std::string before;
    for (const Case& c : cases) {
        const std::string name = topicSafeLineName(c.port);
        EXPECT_TRUE(std::regex_match(name, std::regex("[A-Za-z0-9_-]+"))) << c.port;
        if (*c.name != '\0') {
            EXPECT_EQ(name, c.name);
        } else {
            EXPECT_NE(name, before) << c.port;
        }
        before = name;
    }
    EXPECT_EQ(earlierDeviceId("/dev/ttyUSB0", 77), "horalux_ttyUSB0_77");

    for (const char* node : {"pi", "Home-1", "a_b"}) {
        EXPECT_TRUE(isNodeId(node)) << node;
    }
    for (const char* node : {"", "a/b", "a b", "a+", "ä"}) {
        EXPECT_FALSE(isNodeId(node)) << node;
    }
    EXPECT_TRUE(isNodeId(defaultNodeId()));
}

TEST(BridgeNames, ALineIsNamedByItsSerialByIdLinkWhenOneLeadsToIt) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("horalux-by-id-" + std::to_string(getpid()));
    fs::create_directories(dir / "by-id");
    std::ofstream(dir / "ttyUSB0").put('x');
    std::ofstream(dir / "ttyUSB1").put('x');
    fs::create_symlink("../ttyUSB0", dir / "by-id" / "usb-Maker_Adapter_A50-if00-port0");
    // The folder given is under /dev in use; here a temporary one stands in for both.
    const std::string byId = (dir / "by-id").string();
    const std::string link = (dir / "by-id" / "usb-Maker_Adapter_A50-if00-port0").string();
    EXPECT_EQ(stableLineName((dir / "ttyUSB0").string(), byId), link);
    EXPECT_EQ(stableLineName(link, byId), link);
    EXPECT_EQ(stableLineName((dir / "ttyUSB1").string(), byId), (dir / "ttyUSB1").string());
    EXPECT_EQ(stableLineName("/dev/null", byId), "/dev/null");
    EXPECT_EQ(stableLineName("/dev/null", (dir / "none").string()), "/dev/null");
    EXPECT_EQ(stableLineName("tcp://host:4001", byId), "tcp://host:4001");
    fs::remove_all(dir);
}

TEST(BridgeDiscovery, ABoardIsOneDeviceConfigWithAComponentPerEntity) {
    const Message message = deviceConfig(kDevice, fullShape(), "homeassistant");
    EXPECT_EQ(message.topic, "homeassistant/device/horalux_pi_ttyUSB0_77/config");
    const json c = json::parse(message.payload);
    EXPECT_EQ(c.at("device").at("identifiers"), json::array({"horalux_pi_ttyUSB0_77"}));
    EXPECT_EQ(c.at("device").at("name"), "/dev/ttyUSB0 $4D/77");
    EXPECT_EQ(c.at("device").at("sw_version"), "1.2.3");
    EXPECT_EQ(c.at("origin").at("sw_version"), "1.2.3");
    EXPECT_TRUE(c.at("origin").contains("name") && c.at("origin").contains("sw_version"));
    EXPECT_EQ(c.at("availability"),
              json::parse(R"([{"topic":"horalux/pi/ttyUSB0/status"},)"
                          R"({"topic":"horalux/pi/ttyUSB0/77/availability"}])"));
    EXPECT_EQ(c.at("availability_mode"), "all");

    std::set<std::string> uniqueIds;
    std::map<std::string, json> present;
    for (const auto& [key, component] : c.at("cmps").items()) {
        SCOPED_TRACE(key);
        const std::string platform = component.at("p");
        if (component.size() == 1) {
            continue;  // fields past the board's two
        }
        present[key] = component;
        EXPECT_TRUE(uniqueIds.insert(component.at("unique_id").get<std::string>()).second);
        const std::string entityId = component.at("default_entity_id");
        EXPECT_TRUE(std::regex_match(entityId, std::regex(platform + "\\.[a-z0-9_]+"))) << entityId;
        if (platform != "button") {
            EXPECT_EQ(component.at("state_topic"), "horalux/pi/ttyUSB0/77/" + key);
        }
        EXPECT_EQ(component.contains("command_topic"), platform != "sensor");
        if (platform != "sensor") {
            EXPECT_EQ(component.at("command_topic"), "horalux/pi/ttyUSB0/77/" + key + "/set");
        }
    }
    // 6 weather sensors, the main text, the clock, the mode, the button and 2 fields.
    ASSERT_EQ(present.size(), 12U);
    EXPECT_EQ(c.at("cmps").at("field_2"), json::parse(R"({"p":"text"})"));
    EXPECT_EQ(present["temperature_2"].at("device_class"), "temperature");
    EXPECT_EQ(present["temperature_2"].at("unit_of_measurement"), "°C");
    EXPECT_EQ(present["temperature_2"].at("state_class"), "measurement");
    EXPECT_EQ(present["temperature_2"].at("suggested_display_precision"), 1);
    EXPECT_EQ(present["pressure"].at("device_class"), "atmospheric_pressure");
    EXPECT_EQ(present["pressure"].at("unit_of_measurement"), "mmHg");
    EXPECT_EQ(present["humidity"].at("unit_of_measurement"), "%");
    EXPECT_EQ(present["clock_difference"].at("entity_category"), "diagnostic");
    EXPECT_EQ(present["clock_difference"].at("device_class"), "duration");
    EXPECT_EQ(present["clock_difference"].at("unit_of_measurement"), "s");
    EXPECT_EQ(present["main_text"].at("entity_category"), "diagnostic");
    EXPECT_EQ(present["mode"].at("entity_category"), "config");
    EXPECT_EQ(present["sync_time"].at("entity_category"), "config");
    EXPECT_EQ(present["mode"].at("options"), json::array({"master", "slave"}));
    EXPECT_EQ(present["sync_time"].at("name"), "Синхронизировать время");
    EXPECT_EQ(present["field_1"].at("max"), 12);

    // Home Assistant's rule for a text state: no longer than max, matching the pattern. What a
    // 4-digit field reads back as, every point lit or none, and what is typed into it.
    const std::regex pattern(present["field_0"].at("pattern").get<std::string>());
    const std::size_t max = present["field_0"].at("max").get<std::size_t>();
    for (const std::string shown : {"1.2.3.4.", "7.5  ", "12.34", "-_  ", "    ", ".1.2.3"}) {
        EXPECT_LE(shown.size(), max) << shown;
        EXPECT_TRUE(std::regex_match(shown, pattern)) << shown;
    }
    EXPECT_FALSE(std::regex_match(std::string("12a"), pattern));
    // The "-" is escaped, as a "v"-flag class wants it.
    EXPECT_NE(present["field_0"].at("pattern").get<std::string>().find("\\-"), std::string::npos);
}

TEST(BridgeDiscovery, SensorsSwitchedOffAreTheirPlatformAloneAndEarlierConfigsAllGo) {
    BoardShape shape = fullShape();
    shape.temperatures[2] = false;
    shape.radiation = false;
    const json c = json::parse(deviceConfig(kDevice, shape, "homeassistant").payload);
    EXPECT_EQ(c.at("cmps").at("temperature_3"), json::parse(R"({"p":"sensor"})"));
    EXPECT_EQ(c.at("cmps").at("radiation"), json::parse(R"({"p":"sensor"})"));
    EXPECT_GT(c.at("cmps").at("temperature_1").size(), 1U);
    EXPECT_EQ(deviceRemoval("horalux_pi_ttyUSB0_77", "homeassistant"),
              (Message{"homeassistant/device/horalux_pi_ttyUSB0_77/config", ""}));

    // Every entity config an earlier bridge published, emptied.
    std::set<std::string> topics;
    for (const Message& m : earlierConfigRemovals("horalux_ttyUSB0_77", "homeassistant")) {
        EXPECT_EQ(m.payload, "");
        topics.insert(m.topic);
    }
    for (const char* topic : {"homeassistant/sensor/horalux_ttyUSB0_77/temperature_3/config",
                              "homeassistant/select/horalux_ttyUSB0_77/mode/config",
                              "homeassistant/button/horalux_ttyUSB0_77/sync_time/config",
                              "homeassistant/text/horalux_ttyUSB0_77/field_31/config"}) {
        EXPECT_TRUE(topics.contains(topic)) << topic;
    }
    EXPECT_EQ(topics.size(), 3U + 3U + 2U + 1U + 1U + 32U);
}

TEST(BridgeLeftovers, OnlyThisNodesConfigsOfBoardsAndLinesNoLongerBridgedAreLeftovers) {
    const std::vector<std::uint8_t> addresses{1, 2};
    const LineNames names = lineNames("horalux", "pi", "/dev/ttyUSB0");
    const LineSeen line{names, "/dev/ttyUSB0", "homeassistant", addresses};
    const std::string ours = R"({"availability":[{"topic":"horalux/pi/ttyUSB0/status"}]})";
    const std::string usb1 = R"({"availability":[{"topic":"horalux/pi/ttyUSB1/status"}]})";
    const std::string nas = R"({"availability":[{"topic":"horalux/nas/ttyUSB0/status"}]})";
    struct Case {
        const char* what;
        std::string topic, payload;
        Leftover expected;
    };
    const Case cases[] = {
        {"a board bridged now", "homeassistant/device/horalux_pi_ttyUSB0_2/config", ours, {}},
        {"a board of this line bridged no more",
         "homeassistant/device/horalux_pi_ttyUSB0_7/config",
         ours,
         {Leftover::Board, "horalux_pi_ttyUSB0_7", 7, {}}},
        {"a removal already", "homeassistant/device/horalux_pi_ttyUSB0_7/config", "", {}},
        {"another line of this node",
         "homeassistant/device/horalux_pi_ttyUSB1_1/config",
         usb1,
         {Leftover::OtherLine, "horalux_pi_ttyUSB1_1", 0, "horalux/pi/ttyUSB1/status"}},
        {"another node's board", "homeassistant/device/horalux_nas_ttyUSB0_7/config", nas, {}},
        {"a node whose id begins like this one's",
         "homeassistant/device/horalux_pi_x_ttyUSB0_7/config",
         R"({"availability":[{"topic":"horalux/pi_x/ttyUSB0/status"}]})",
         {}},
        {"a config that is no JSON", "homeassistant/device/horalux_pi_ttyUSB0_7/config", "{", {}},
        {"someone else's device", "homeassistant/device/lamp/config", ours, {}},
        {"an earlier bridge's board of this line",
         "homeassistant/sensor/horalux_ttyUSB0_1/main_text/config",
         "{}",
         {Leftover::EarlierConfigs, "horalux_ttyUSB0_1", 0, {}}},
        {"an earlier bridge's board of another line",
         "homeassistant/sensor/horalux_ttyUSB1_1/main_text/config",
         "{}",
         {}},
        {"an earlier address out of range",
         "homeassistant/sensor/horalux_ttyUSB0_300/main_text/config",
         "{}",
         {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(leftoverOf(line, c.topic, c.payload), c.expected) << c.what;
    }
}

}  // namespace
}  // namespace horalux::bridge
