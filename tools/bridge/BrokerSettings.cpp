#include "BrokerSettings.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "settings/FileText.h"

namespace horalux::bridge {
namespace {

constexpr std::uint16_t kMqttPort = 1883;
constexpr std::uint16_t kMqttsPort = 8883;
constexpr std::size_t kMaxPasswordFileBytes = 64 * 1024;

}  // namespace

std::variant<BrokerSettings, std::string> parseBrokerUrl(const std::string& url) {
    BrokerSettings broker;
    broker.port = kMqttPort;
    std::string_view rest(url);
    if (rest.starts_with("mqtt://")) {
        rest.remove_prefix(7);
    } else if (rest.starts_with("mqtts://")) {
        rest.remove_prefix(8);
        broker.tls = true;
        broker.port = kMqttsPort;
    } else {
        return "the broker must be mqtt://HOST[:PORT] or mqtts://HOST[:PORT], not " + url;
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    std::string_view host = rest;
    std::string_view port;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            return "the broker's IPv6 address lacks its closing bracket: " + url;
        }
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return "the broker's port must follow the address after a colon: " + url;
            }
            port = after.substr(1);
        }
    } else if (const std::size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    if (host.empty() || host.find_first_of("/@?# ") != std::string_view::npos) {
        return "the broker's host is missing or malformed in " + url;
    }
    if (!port.empty() || rest.ends_with(':')) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc{} || end != port.data() + port.size() || value == 0 || value > 65535) {
            return "the broker's port must be a number from 1 to 65535 in " + url;
        }
        broker.port = static_cast<std::uint16_t>(value);
    }
    broker.host = std::string(host);
    return broker;
}

std::string brokerText(const BrokerSettings& broker) {
    const bool v6 = broker.host.find(':') != std::string::npos;
    return std::string(broker.tls ? "mqtts://" : "mqtt://") + (v6 ? "[" : "") + broker.host +
           (v6 ? "]" : "") + ":" + std::to_string(broker.port);
}

PasswordRead readPasswordFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {std::nullopt,
                "cannot read the password file " + path + ": " + std::strerror(errno)};
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        return {std::nullopt, "the password file " + path +
                                  " may be read by others than its owner; make it private "
                                  "(chmod 600) or hand it in through systemd's LoadCredential="};
    }
    // Read as a regular file of bounded size: a FIFO would block the start for good and a
    // device would be read until memory runs out.
    const settings::TextFile file = settings::readTextFile(path, kMaxPasswordFileBytes);
    if (file.status != settings::TextFile::Read) {
        return {
            std::nullopt,
            "cannot read the password file " + path + ": " +
                (file.status == settings::TextFile::Missing ? std::strerror(ENOENT) : file.reason)};
    }
    if (file.content.empty()) {
        return {std::nullopt, "cannot read the password file " + path + ": it is empty"};
    }
    std::string line = file.content.substr(0, file.content.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        return {std::nullopt, "the password file " + path + " holds no password on its first line"};
    }
    return {line, {}};
}

std::string caFileProblem(const std::string& path) {
    const settings::TextFile file = settings::readTextFile(path);
    if (file.status == settings::TextFile::Read) {
        return {};
    }
    return "cannot use the CA file " + path + ": " +
           (file.status == settings::TextFile::Missing ? std::strerror(ENOENT) : file.reason);
}

}  // namespace horalux::bridge
