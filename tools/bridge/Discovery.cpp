#include "Discovery.h"

#include <cctype>
#include <nlohmann/json.hpp>
#include <optional>

#include "link/scan/BoardScan.h"
#include "link/session/UserFieldPayload.h"
#include "platform/PortNameText.h"

namespace horalux::bridge {
namespace {

using nlohmann::json;

// The characters a user field can show, for the text entity's pattern. The "-" is escaped: the
// frontend compiles the pattern with the "v" flag, which refuses an unescaped one in a class.
constexpr const char* kFieldPattern = R"(^[0-9 ._\-]*$)";

struct Entity {
    std::string component;  // "sensor", "text", "button", "select"
    std::string key;
    std::optional<json> config;  // absent: the entity is not there now
};

json sensorConfig(const char* name, const char* deviceClass, const char* unit) {
    json c{{"name", name}, {"state_class", "measurement"}};
    if (deviceClass != nullptr) {
        c["device_class"] = deviceClass;
    }
    if (unit != nullptr) {
        c["unit_of_measurement"] = unit;
    }
    return c;
}

std::optional<json> when(bool present, json config) {
    return present ? std::optional<json>(std::move(config)) : std::nullopt;
}

std::vector<Entity> entitiesOf(const BoardShape& shape) {
    std::vector<Entity> out;
    for (std::size_t n = 0; n < 3; ++n) {
        const std::string name = "Температура " + std::to_string(n + 1);
        json temperature = sensorConfig(name.c_str(), "temperature", "°C");
        // Hundredths come, tenths are what a thermometer is read to.
        temperature["suggested_display_precision"] = 1;
        out.push_back({"sensor", "temperature_" + std::to_string(n + 1),
                       when(shape.temperatures[n], temperature)});
    }
    out.push_back({"sensor", "pressure",
                   when(shape.pressure, sensorConfig("Давление", "atmospheric_pressure", "mmHg"))});
    out.push_back(
        {"sensor", "humidity", when(shape.humidity, sensorConfig("Влажность", "humidity", "%"))});
    out.push_back(
        {"sensor", "radiation", when(shape.radiation, sensorConfig("Радиация", nullptr, nullptr))});
    out.push_back({"sensor", "main_text",
                   json{{"name", "Основное поле"}, {"entity_category", "diagnostic"}}});
    json clock = sensorConfig("Разница часов", "duration", "s");
    clock["entity_category"] = "diagnostic";
    out.push_back({"sensor", "clock_difference", clock});
    out.push_back({"select", "mode",
                   json{{"name", "Режим"},
                        {"options", json::array({"master", "slave"})},
                        {"entity_category", "config"}}});
    out.push_back({"button", "sync_time",
                   json{{"name", "Синхронизировать время"}, {"entity_category", "config"}}});
    for (std::size_t i = 0; i < link::kMaxUserFields; ++i) {
        const bool present = i < shape.fieldDigits.size() && shape.fieldDigits[i] != 0;
        json field;
        if (present) {
            field = {{"name", "Поле " + std::to_string(i)},
                     {"mode", "text"},
                     {"min", 0},
                     // What the board shows back: each digit may carry its point.
                     {"max", link::userFieldShownLength(shape.fieldDigits[i])},
                     {"pattern", kFieldPattern}};
        }
        out.push_back({"text", userFieldEntity(i), when(present, field)});
    }
    return out;
}

std::string configTopic(const std::string& discoveryPrefix, const Entity& entity,
                        const std::string& id) {
    return discoveryPrefix + "/" + entity.component + "/" + id + "/" + entity.key + "/config";
}

// An entity id of letters, digits and "_" only: what Home Assistant would make of the Russian
// names is no id to write automations with.
std::string asciiEntityId(const std::string& component, const std::string& objectId) {
    std::string id = component + ".";
    for (const char ch : objectId) {
        const auto byte = static_cast<unsigned char>(ch);
        id += std::isalnum(byte) != 0 ? static_cast<char>(std::tolower(byte)) : '_';
    }
    return id;
}

}  // namespace

BoardShape boardShapeOf(const link::BoardData& data) {
    const auto& formats = data.BoardCopy.displayFormats;
    BoardShape shape;
    for (std::size_t n = 0; n < 3; ++n) {
        shape.temperatures[n] = formats[1 + n] != 0;
    }
    shape.pressure = formats[4] != 0;
    shape.humidity = formats[5] != 0;
    shape.radiation = formats[6] != 0;
    for (const std::uint8_t digits : data.BoardCopy.userScreens) {
        if (digits == 0) {
            break;
        }
        shape.fieldDigits.push_back(digits);
    }
    return shape;
}

BoardShape withoutReadings(BoardShape shape) {
    shape.temperatures = {};
    shape.pressure = false;
    shape.humidity = false;
    shape.radiation = false;
    return shape;
}

Message deviceConfig(const BoardDevice& device, const BoardShape& shape,
                     const std::string& discoveryPrefix) {
    const std::string id = device.names.deviceId(device.address);
    const BoardTopics topics = device.names.board(device.address);
    json components = json::object();
    for (Entity& entity : entitiesOf(shape)) {
        if (!entity.config) {
            components[entity.key] = json{{"p", entity.component}};
            continue;
        }
        json& c = *entity.config;
        c["p"] = entity.component;
        c["unique_id"] = id + "_" + entity.key;
        c["default_entity_id"] = asciiEntityId(entity.component, id + "_" + entity.key);
        if (entity.component != "button") {
            c["state_topic"] = topics.state(entity.key);
        }
        if (entity.component != "sensor") {
            c["command_topic"] = topics.command(entity.key);
        }
        components[entity.key] = std::move(c);
    }
    const json config{
        // Named as the connection dialog lists the board, after its line.
        {"device",
         {{"identifiers", json::array({id})},
          {"name",
           platform::shownPortName(device.port) + " " + link::boardAddressText(device.address)},
          {"model", "Табло"},
          {"sw_version", device.version}}},
        // No support address is named: the project has none to give yet.
        {"origin", {{"name", "horalux-cli bridge"}, {"sw_version", device.version}}},
        // Both must be online: the bridge running and the board answering.
        {"availability", json::array({json{{"topic", device.names.statusTopic()}},
                                      json{{"topic", topics.availability()}}})},
        {"availability_mode", "all"},
        {"cmps", std::move(components)},
    };
    return {discoveryPrefix + "/device/" + id + "/config", config.dump()};
}

Message deviceRemoval(const std::string& id, const std::string& discoveryPrefix) {
    return {discoveryPrefix + "/device/" + id + "/config", ""};
}

std::vector<Message> earlierConfigRemovals(const std::string& earlierId,
                                           const std::string& discoveryPrefix) {
    std::vector<Message> out;
    for (const Entity& entity : entitiesOf(BoardShape{})) {
        out.push_back({configTopic(discoveryPrefix, entity, earlierId), ""});
    }
    return out;
}

}  // namespace horalux::bridge
