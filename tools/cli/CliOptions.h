#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/PortNaming.h"
#include "platform/net/tls/TlsSettings.h"
#include "settings/LogItems.h"

namespace horalux::cli {

struct CliCommand;

struct CliOptions {
    std::string port{platform::kDefaultPortName};
    std::uint32_t speed = 9600;
    std::uint8_t address = 1;
    std::uint32_t delayMs = 100;
    platform::TlsSettings tls;  // --ca, --pin, --cert, --key: for TLS ports

    const CliCommand* command = nullptr;   // an entry of cliCommands()
    std::string file;                      // read-registers --out, write-registers FILE
    std::size_t fieldIndex = 0;            // write-field N
    std::string text;                      // write-field TEXT
    bool master = false;                   // set-mode
    std::optional<std::uint32_t> seconds;  // monitor --seconds
    bool raw = false;                      // monitor --raw
    settings::LogForm lineForm;            // monitor --time, --decode (kLogItems' flags)
    std::string logFile;                   // monitor --log FILE
    bool setAddress = false;               // write-registers --set-address
    std::string host;                      // sntp HOST[:PORT]
    std::uint16_t sntpPort = 123;          // sntp HOST[:PORT]
    std::uint32_t keepPeriodS = 3600;      // keep-time --period
    std::uint32_t offsetLimitS = 2;        // keep-time --offset-limit
    bool trustPcClock = false;             // keep-time --trust-pc-clock
    std::vector<std::uint32_t> scanSpeeds{9600, 115200};  // scan --speeds
    std::uint8_t scanFirst = 1;                           // scan --addresses FROM-TO
    std::uint8_t scanLast = 254;
    std::string scanOut;                             // scan --out FILE
    std::string broker;                              // bridge --broker URL
    std::string brokerCa;                            // bridge --ca FILE
    std::string mqttUser;                            // bridge --user U
    std::string passwordFile;                        // bridge --password-file F
    std::string topicPrefix{"horalux"};              // bridge --prefix
    std::string discoveryPrefix{"homeassistant"};    // bridge --discovery; empty: off
    std::string nodeId;                              // bridge --node-id; empty: the host name
    std::optional<std::uint32_t> bridgeKeepPeriodS;  // bridge --keep-time PERIOD

    // Every --port (one session each) and every board of --address, in order; `port` and
    // `address` are their first.
    std::vector<std::string> ports;
    std::vector<std::uint8_t> addresses;
    std::string outDir;  // read-registers --out-dir DIR

    // More than one board or port, or a folder of register files: the command runs per board.
    bool perBoard() const { return ports.size() > 1 || addresses.size() > 1 || !outDir.empty(); }
};

// What the command line asks for besides a command.
enum class Request { Run, Help, Version };

struct UsageError {
    std::string message;
    const CliCommand* command = nullptr;  // the command whose arguments were wrong, if known
};

// --help or -h anywhere asks for the usage, --version for the version; both win over the rest.
Request requestOf(const std::vector<std::string>& args);
// The command named before a --help or -h (past the global options and their values), whose
// usage alone is asked for; nullptr for the whole usage.
const CliCommand* helpCommandOf(const std::vector<std::string>& args);

// Parses the arguments after the program name: the global options, then a command of the
// command table with its own arguments.
std::variant<CliOptions, UsageError> parseCliOptions(const std::vector<std::string>& args);

}  // namespace horalux::cli
