#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace horalux::bridge {

// Where and how the bridge meets its broker.
struct BrokerSettings {
    std::string host;
    std::uint16_t port = 1883;
    bool tls = false;
    std::string caFile;  // mqtts: the CA that signed the broker's certificate
    std::string user;
    std::string password;
    std::string clientId;
    // The last will: retained `willPayload` on `willTopic` when the bridge vanishes.
    std::string willTopic;
    std::string willPayload = "offline";
};

// "mqtt://HOST[:PORT]" (1883) or "mqtts://HOST[:PORT]" (8883); an IPv6 host in brackets.
// The reason when the text is none of these.
std::variant<BrokerSettings, std::string> parseBrokerUrl(const std::string& url);

// The URL as the messages name the broker.
std::string brokerText(const BrokerSettings& broker);

// The password: the first line of `path`. Refused when others than its owner may read it, since
// the password would be theirs too; the reason names the file and never holds the password.
struct PasswordRead {
    std::optional<std::string> password;
    std::string problem;  // when there is no password
};
// A regular file of bounded size, or refused: a FIFO would block and a device never end.
PasswordRead readPasswordFile(const std::string& path);

// Why the broker's CA file cannot be handed to the MQTT client (which would block on a FIFO),
// naming it; empty when it is a regular file of bounded size that could be read.
std::string caFileProblem(const std::string& path);

}  // namespace horalux::bridge
