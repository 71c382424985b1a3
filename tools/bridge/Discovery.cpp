#include "Discovery.h"

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
        out.push_back(
            {"sensor", "temperature_" + std::to_string(n + 1),
             when(shape.temperatures[n], sensorConfig(name.c_str(), "temperature", "°C"))});
    }
    out.push_back({"sensor", "pressure",
                   when(shape.pressure, sensorConfig("Давление", "atmospheric_pressure", "mmHg"))});
    out.push_back(
        {"sensor", "humidity", when(shape.humidity, sensorConfig("Влажность", "humidity", "%"))});
    out.push_back(
        {"sensor", "radiation", when(shape.radiation, sensorConfig("Радиация", nullptr, nullptr))});
    out.push_back({"sensor", "main_text", json{{"name", "Основное поле"}}});
    json clock = sensorConfig("Разница часов", nullptr, "s");
    clock["entity_category"] = "diagnostic";
    out.push_back({"sensor", "clock_difference", clock});
    out.push_back(
        {"select", "mode", json{{"name", "Режим"}, {"options", json::array({"master", "slave"})}}});
    out.push_back({"button", "sync_time", json{{"name", "Синхронизировать время"}}});
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

std::vector<Message> discoveryMessages(const BoardDevice& device, const BoardShape& shape,
                                       const std::string& discoveryPrefix) {
    const std::string id = deviceId(device.port, device.address);
    const BoardTopics topics = boardTopics(device.prefix, device.port, device.address);
    // Named as the connection dialog lists the board, after its line.
    const json deviceJson{{"identifiers", json::array({id})},
                          {"name", platform::shownPortName(device.port) + " " +
                                       link::boardAddressText(device.address)},
                          {"model", "Табло"},
                          {"sw_version", device.version}};
    // Both must be online: the bridge running and the board answering.
    const json availability =
        json::array({json{{"topic", bridgeStatusTopic(device.prefix, device.port)}},
                     json{{"topic", topics.availability()}}});

    std::vector<Message> out;
    for (Entity& entity : entitiesOf(shape)) {
        const std::string topic = configTopic(discoveryPrefix, entity, id);
        if (!entity.config) {
            out.push_back({topic, ""});
            continue;
        }
        json& c = *entity.config;
        c["unique_id"] = id + "_" + entity.key;
        c["device"] = deviceJson;
        c["availability"] = availability;
        c["availability_mode"] = "all";
        if (entity.component != "button") {
            c["state_topic"] = topics.state(entity.key);
        }
        if (entity.component != "sensor") {
            c["command_topic"] = topics.command(entity.key);
        }
        out.push_back({topic, c.dump()});
    }
    return out;
}

std::vector<Message> removalMessages(const BoardDevice& device,
                                     const std::string& discoveryPrefix) {
    const std::string id = deviceId(device.port, device.address);
    std::vector<Message> out;
    for (const Entity& entity : entitiesOf(BoardShape{})) {
        out.push_back({configTopic(discoveryPrefix, entity, id), ""});
    }
    return out;
}

}  // namespace horalux::bridge
