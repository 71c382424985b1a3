#include "CliCommandTable.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "CliCommands.h"
#include "CliOptions.h"
#include "CliScan.h"
#include "CliSession.h"
#include "platform/PortKind.h"
#include "platform/PortNameText.h"
#include "platform/PortNaming.h"
#include "settings/LogItems.h"
#include "timesync/KeepPeriod.h"

namespace horalux::cli {
namespace {

using Problem = std::optional<std::string>;

Problem readRegistersArguments(ArgumentReader& args, CliOptions& options) {
    if (args.more() && (args.peek() == "--out" || args.peek() == "--out-dir")) {
        const std::string flag = *args.take();
        const auto name = args.take();
        if (!name || name->empty()) {
            return flag == "--out" ? "--out needs a file name" : "--out-dir needs a folder name";
        }
        (flag == "--out" ? options.file : options.outDir) = *name;
    }
    return std::nullopt;
}

Problem compareArguments(ArgumentReader& args, CliOptions& options) {
    const auto file = args.take();
    if (!file || file->empty()) {
        return "compare needs a register file";
    }
    options.file = *file;
    return std::nullopt;
}

Problem writeRegistersArguments(ArgumentReader& args, CliOptions& options) {
    const auto file = args.take();
    if (!file || file->empty()) {
        return "write-registers needs a register file";
    }
    options.file = *file;
    if (args.more() && args.peek() == "--set-address") {
        args.take();
        options.setAddress = true;
    }
    return std::nullopt;
}

Problem writeFieldArguments(ArgumentReader& args, CliOptions& options) {
    const auto index = args.take();
    const auto text = args.take();
    if (!index || !text ||
        !parseNumber(*index, options.fieldIndex, std::size_t{0}, std::size_t{31})) {
        return "write-field needs a field number from 0 to 31 and a text";
    }
    options.text = *text;
    return std::nullopt;
}

Problem setModeArguments(ArgumentReader& args, CliOptions& options) {
    const auto mode = args.take();
    if (!mode || (*mode != "master" && *mode != "slave")) {
        return "set-mode needs master or slave";
    }
    options.master = *mode == "master";
    return std::nullopt;
}

const settings::LogItem* logItemOfFlag(std::string_view flag) {
    for (const settings::LogItem& item : settings::kLogItems) {
        if (!item.companionFlag.empty() && item.companionFlag == flag) {
            return &item;
        }
    }
    return nullptr;
}

// "[--time] [--decode]": the log items monitor takes.
std::string logItemArguments() {
    std::string text;
    for (const settings::LogItem& item : settings::kLogItems) {
        if (!item.companionFlag.empty()) {
            text.append(" [").append(item.companionFlag).append("]");
        }
    }
    return text;
}

const std::string kMonitorArguments =
    "[--seconds S] [--raw]" + logItemArguments() + " [--log FILE]";

Problem monitorArguments(ArgumentReader& args, CliOptions& options) {
    while (args.more()) {
        const std::string flag = *args.take();
        if (flag == "--raw") {
            options.raw = true;
        } else if (const settings::LogItem* item = logItemOfFlag(flag)) {
            options.lineForm.*item->flag = true;
        } else if (flag == "--log") {
            const auto file = args.take();
            if (!file || file->empty()) {
                return "--log needs a file name";
            }
            options.logFile = *file;
        } else if (flag == "--seconds") {
            std::uint32_t seconds = 0;
            const auto v = args.take();
            if (!v || !parseNumber(*v, seconds, 1U, 31U * 24 * 3600)) {
                return "--seconds needs a positive number";
            }
            options.seconds = seconds;
        } else {
            return "unknown monitor option " + flag;
        }
    }
    return std::nullopt;
}

Problem sntpArguments(ArgumentReader& args, CliOptions& options) {
    const auto host = args.take();
    if (!host || host->empty()) {
        return "sntp needs a host name";
    }
    options.host = *host;
    if (const std::size_t colon = host->rfind(':'); colon != std::string::npos) {
        options.host = host->substr(0, colon);
        if (options.host.empty() || !parseNumber(host->substr(colon + 1), options.sntpPort,
                                                 std::uint16_t{1}, std::uint16_t{65535})) {
            return "sntp needs HOST or HOST:PORT with a port from 1 to 65535";
        }
    }
    return std::nullopt;
}

// One or more topic levels the broker takes and delivers to others: no wildcards (the command
// topics are subscribed below it), no "$" first (the broker's own topics, which clients may not
// publish), no control characters or bytes that are not UTF-8 (refused by the client library),
// and nothing at or under the discovery prefix, whose configs are Home Assistant's to read.
Problem topicPrefixProblem(const std::string& prefix) {
    const std::string shown = platform::quotedText(prefix);
    if (!platform::isUtf8(prefix) || std::any_of(prefix.begin(), prefix.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        })) {
        return "--prefix " + shown + " holds control characters or bytes that are not UTF-8";
    }
    if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/' ||
        prefix.find_first_of("+#") != std::string::npos || prefix.find("//") != std::string::npos) {
        return "--prefix must be topic levels without wildcards, such as horalux, not " + shown;
    }
    if (prefix.front() == '$') {
        return "--prefix must not begin with $: topics that do are the broker's own (" + shown +
               ")";
    }
    const std::string_view discovery = "homeassistant";
    if (prefix == discovery || prefix.starts_with(std::string(discovery) + "/")) {
        return "--prefix " + shown + " is Home Assistant's discovery prefix or below it; " +
               "choose another, such as horalux";
    }
    return std::nullopt;
}

Problem bridgeArguments(ArgumentReader& args, CliOptions& options) {
    // Each takes a value; the broker's --ca is read here, after the command's name, so it never
    // meets the options before it.
    while (args.more()) {
        const std::string flag = *args.take();
        if (flag == "--trust-pc-clock") {
            options.trustPcClock = true;
            continue;
        }
        const auto v = args.take();
        if (!v) {
            return flag + " needs a value";
        }
        if (flag == "--broker") {
            options.broker = *v;
        } else if (flag == "--ca") {
            options.brokerCa = *v;
        } else if (flag == "--user") {
            options.mqttUser = *v;
        } else if (flag == "--password-file") {
            options.passwordFile = *v;
        } else if (flag == "--prefix") {
            if (Problem problem = topicPrefixProblem(*v)) {
                return problem;
            }
            options.topicPrefix = *v;
        } else if (flag == "--node-id") {
            // It goes into topics, the client id and Home Assistant's ids as it is.
            const bool plain =
                !v->empty() && v->size() <= 64 && std::all_of(v->begin(), v->end(), [](char c) {
                    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
                });
            if (!plain) {
                return "--node-id must be 1 to 64 letters, digits, '-' and '_', not " +
                       platform::quotedText(*v);
            }
            options.nodeId = *v;
        } else if (flag == "--discovery") {
            if (*v != "homeassistant" && *v != "off") {
                return "--discovery must be homeassistant or off";
            }
            options.discoveryPrefix = *v == "off" ? "" : *v;
        } else if (flag == "--keep-time") {
            const auto period = timesync::parseKeepPeriod(*v);
            if (!period) {
                return "--keep-time needs a time such as 60s, 1h, 3h or 1d";
            }
            options.bridgeKeepPeriodS = *period;
        } else {
            return "unknown bridge option " + flag;
        }
    }
    if (options.broker.empty()) {
        return "bridge needs --broker mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    }
    if (!options.passwordFile.empty() && options.mqttUser.empty()) {
        return "--password-file needs --user";
    }
    return std::nullopt;
}

const CliCommand kCommands[] = {
    {"ports", "", "list the serial ports", false, nullptr, listPorts},
    {"read-registers", "[--out FILE | --out-dir DIR]",
     "read all setting registers; save them as a register file,\n"
     "or one per board in DIR (board-077.cs)",
     true, readRegistersArguments, readRegisters, true},
    {"write-registers", "FILE [--set-address]",
     "write the registers of FILE that differ from the board's,\n"
     "then the PC time, and read the written ones back; the\n"
     "board keeps its address unless --set-address is given\n"
     "(one board only); FILE must hold all 64 keys",
     true, writeRegistersArguments, writeRegisters, true},
    {"compare", "FILE",
     "print each register that differs from FILE (register,\n"
     "field, board value, file value) and a count; the address\n"
     "and the mode are not compared; exit 1 when any differs",
     true, compareArguments, compareRegisters, true},
    {"sync-time", "", "write the PC time into the board clock", false, nullptr, syncTime, true},
    {"read-time", "", "read the board's time and date", true, nullptr, readTime, true},
    {"read-fields", "", "read the user fields, printed as 'N: text' (N from 0)", true, nullptr,
     readFields},
    {"write-field", "N TEXT", "replace user field N (from 0) and send all fields", true,
     writeFieldArguments, writeField},
    {"set-mode", "master|slave", "make the board time master or slave", true, setModeArguments,
     setMode, true},
    {"monitor", kMonitorArguments,
     "print the board's fields as they change; --raw: the line\n"
     "too, --time: when each read or write happened, --decode:\n"
     "what each frame meant (both with > written, < read);\n"
     "--log FILE: every line also written to FILE as it comes",
     false, monitorArguments, monitor},
    {"sntp", "HOST[:PORT]",
     "ask a time server (port 123 unless given); print its time\n"
     "and the PC clock's offset; never sets the clock",
     false, sntpArguments, sntp},
    {"keep-time", "[--period 60s|1h|3h|1d] [--offset-limit S] [--trust-pc-clock]",
     "keep the board clock right until stopped: write the PC time\n"
     "now and every period (default 1h); with one board, read its\n"
     "clock between writes and write again when it is off by more\n"
     "than S seconds (default 2); with a list, read every board's\n"
     "clock and write only those off (all at once when all are);\n"
     "reopen a lost line; write nothing while the PC clock is not\n"
     "synchronised unless trusted",
     false, keepTimeArguments, keepTime, false, true},
    {"bridge", "--broker URL [--ca F] [--user U --password-file F] [OPTIONS]",
     "put the boards of --address on the MQTT broker at URL\n"
     "(mqtt://HOST[:PORT] or mqtts://HOST[:PORT], --ca its CA)\n"
     "until stopped: their values and availability published\n"
     "(retained, under P/NODE/LINE/ADDR), user fields, time sync\n"
     "and mode taken from the .../set topics; the password is the\n"
     "first line of F (or of $CREDENTIALS_DIRECTORY/mqtt-password);\n"
     "OPTIONS: --prefix P (default horalux), --node-id NODE\n"
     "(default the host name), --discovery\n"
     "homeassistant|off (default homeassistant), --keep-time\n"
     "PERIOD [--trust-pc-clock] (keeps the clocks as keep-time\n"
     "does); not on Windows",
     true, bridgeArguments, bridge, false, true},
    {"scan", "[--speeds 9600,115200] [--addresses FROM-TO] [--out FILE]",
     "find the boards on the line, every address (default 1-254)\n"
     "at every speed: a line per board with its address, speed,\n"
     "master or slave and clock difference to the PC; Ctrl+C\n"
     "stops, keeping what was found; exit 1 when none answered;\n"
     "--out FILE: the addresses found, for --address @FILE",
     false, scanArguments, scan},
};

// Where the descriptions start; a longer usage line puts its description on the next line.
constexpr std::size_t kDescriptionColumn = 29;
constexpr std::size_t kIndent = 2;

constexpr std::string_view kUsageHead =
    "usage: horalux-cli [--port NAME]... [--speed 9600|115200] [--address LIST] [--delay MS]\n"
    "                   [--ca FILE] [--pin SHA256:DIGEST] [--cert FILE --key FILE] COMMAND\n"
    "       horalux-cli --help | -h | --version\n"
    "\n";

constexpr std::string_view kUsageOptions =
    "                  (--port repeated, or @FILE with a port a line: the ports are\n"
    "                  worked at the same time, each with the boards of --address)\n"
    "  --speed BPS     9600 or 115200 (default 9600)\n"
    "  --address LIST  board address 0..255, 255 reaches all boards (default 1); a list\n"
    "                  (3,77,200 or 1-10 or 1-4,77, no 255) or @FILE (an address a line,\n"
    "                  # comments, as scan --out writes) runs the commands marked * for\n"
    "                  each board in turn, each line prefixed with the board ($4D/77: ...),\n"
    "                  and ends with a summary; exit 0 only when every board succeeded\n"
    "  --delay MS      extra pause after each frame, 0..10000 ms (default 100)\n"
    "  --ca FILE       TLS ports: trust the device server's certificate by the authorities\n"
    "                  in FILE (PEM) instead of the system's\n"
    "  --pin SHA256:DIGEST\n"
    "                  TLS ports: take only the server certificate of this SHA-256 digest\n"
    "                  (hex or base64), self-signed or not\n"
    "  --cert FILE --key FILE\n"
    "                  TLS ports: our certificate and its private key (readable by its\n"
    "                  owner alone) for a device server that asks for one\n"
    "\n"
    "commands:\n";

constexpr std::string_view kUsageTail =
    "\n"
    "exit status: 0 done, 1 the board, the line or a file failed, 2 bad usage or a register\n"
    "file that cannot be used (nothing sent), 130 Ctrl+C, 143 SIGTERM\n"
#if !defined(_WIN32)
    // The service unit comes with the Debian package.
    "\n"
    "keep-time as a service for a port, with its settings in /etc/default/horalux-keep-time:\n"
    "  systemctl enable --now horalux-keep-time@ttyUSB0\n"
    "bridge likewise, with /etc/default/horalux-bridge:\n"
    "  systemctl enable --now horalux-bridge@ttyUSB0\n"
#endif
    ;

// "serial port: FORM (default NAME), or a\n" then the other groups of kinds, a line each
// (wrapped at the usage's width), their forms joined as "A, B or C".
std::string portOptionUsage() {
    constexpr std::string_view kLead = "  --port NAME     ";
    constexpr std::size_t kWidth = 90;
    const auto kinds = platform::portKinds();
    std::vector<std::string_view> groups;
    for (const platform::PortKind* kind : kinds) {
        if (std::find(groups.begin(), groups.end(), kind->usageGroup) == groups.end()) {
            groups.push_back(kind->usageGroup);
        }
    }
    // The platform's own ports come first, as the default is one.
    const std::string_view local = platform::portKindOf(platform::kDefaultPortName).usageGroup;
    std::stable_partition(groups.begin(), groups.end(),
                          [&](std::string_view group) { return group == local; });
    std::string text;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        std::vector<std::string_view> forms;
        for (const platform::PortKind* kind : kinds) {
            if (kind->usageGroup == groups[g]) {
                forms.push_back(kind->usageForm);
            }
        }
        std::string words(groups[g]);
        words += ": ";
        for (std::size_t i = 0; i < forms.size(); ++i) {
            words += i == 0 ? "" : i + 1 == forms.size() ? " or " : ", ";
            words += forms[i];
        }
        if (groups[g] == local) {
            words += " (default " + std::string(platform::kDefaultPortName) + ")";
        }
        if (g + 1 < groups.size()) {
            words += ", or a";
        }
        // Wrapped at spaces, each line under the option's description column.
        std::string line = g == 0 ? std::string(kLead) : std::string(kLead.size(), ' ');
        std::size_t start = 0;
        while (start < words.size()) {
            std::size_t end = words.find(' ', start);
            end = end == std::string::npos ? words.size() : end;
            const std::string_view word(words.data() + start, end - start);
            if (line.size() > kLead.size() && line.size() + 1 + word.size() > kWidth) {
                text += line + "\n";
                line.assign(kLead.size(), ' ');
            } else if (line.size() > kLead.size()) {
                line += ' ';
            }
            line += word;
            start = end + 1;
        }
        text += line + "\n";
    }
    return text;
}

void appendCommandUsage(const CliCommand& command, std::string& out) {
    std::string line(kIndent - 1, ' ');
    line += command.perBoard ? '*' : ' ';
    line += command.name;
    if (!command.arguments.empty()) {
        line += ' ';
        line += command.arguments;
    }
    // At least one space between the usage and its description.
    if (line.size() < kDescriptionColumn) {
        line.resize(kDescriptionColumn, ' ');
    } else {
        line += '\n';
        line.append(kDescriptionColumn, ' ');
    }
    std::string_view rest = command.description;
    for (bool first = true; !rest.empty(); first = false) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        if (!first) {
            line.append(kDescriptionColumn, ' ');
        }
        line += rest.substr(0, end);
        line += '\n';
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    out += line;
}

}  // namespace

CommandContext::CommandContext(const CliOptions& chosen, std::ostream& output, std::ostream& errors,
                               const std::atomic<bool>& stop, CliSession* shared)
    : options(chosen), out(output), err(errors), interrupted(stop), shared_(shared) {}

CommandContext::~CommandContext() = default;

CliSession& CommandContext::session() {
    if (shared_ != nullptr) {
        return *shared_;
    }
    if (!session_) {
        session_ = std::make_unique<CliSession>(options, out, err, interrupted);
    }
    return *session_;
}

std::span<const CliCommand> cliCommands() {
    return kCommands;
}

const CliCommand* findCliCommand(std::string_view name) {
    const auto* found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [&](const CliCommand& c) { return c.name == name; });
    return found == std::end(kCommands) ? nullptr : found;
}

std::string commandUsageText(const CliCommand& command) {
    std::string text = "usage: horalux-cli [OPTIONS] ";
    text += command.name;
    if (!command.arguments.empty()) {
        text += ' ';
        text += command.arguments;
    }
    text += "\n\n";
    std::string_view rest = command.description;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        text += "  ";
        text += rest.substr(0, end);
        text += '\n';
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    if (command.perBoard) {
        text += "  (also for a list of boards: --address LIST, --port repeated)\n";
    }
    text += "\nhoralux-cli --help shows the options (OPTIONS) and every command\n";
    return text;
}

std::string usageHint(const CliCommand* command) {
    std::string text;
    if (command != nullptr) {
        text += "usage: horalux-cli [OPTIONS] ";
        text += command->name;
        if (!command->arguments.empty()) {
            text += ' ';
            text += command->arguments;
        }
        text += "\n";
    }
    text += "horalux-cli --help shows the usage, horalux-cli COMMAND --help one command's\n";
    return text;
}

std::string usageText() {
    std::string text(kUsageHead);
    text += portOptionUsage();
    text += kUsageOptions;
    for (const CliCommand& command : kCommands) {
        appendCommandUsage(command, text);
    }
    text += kUsageTail;
    return text;
}

}  // namespace horalux::cli
