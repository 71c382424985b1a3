#include "CliOptions.h"

#include <charconv>
#include <cstddef>

namespace horalux::cli {

const char* const kUsage =
    "usage: horalux-cli [--port NAME] [--speed 9600|115200] [--address N] [--delay MS] COMMAND\n"
    "       horalux-cli --help | -h | --version\n"
    "\n"
    "  --port NAME     serial port: a name in /dev (ttyUSB0) or a path (default ttyS0)\n"
    "  --speed BPS     9600 or 115200 (default 9600)\n"
    "  --address N     board address 0..255, 255 reaches all boards (default 1)\n"
    "  --delay MS      extra pause after each frame, 0..10000 ms (default 100)\n"
    "\n"
    "commands:\n"
    "  ports                      list the serial ports\n"
    "  read-registers [--out FILE]\n"
    "                             read all setting registers; save them as a register file\n"
    "  write-registers FILE [--set-address]\n"
    "                             write the registers of FILE that differ from the board's,\n"
    "                             then the PC time; the board keeps its address unless\n"
    "                             --set-address is given; FILE must hold all 64 keys\n"
    "  sync-time                  write the PC time into the board clock\n"
    "  read-time                  read the board's time and date\n"
    "  read-fields                read the user fields, printed as 'N: text' (N from 0)\n"
    "  write-field N TEXT         replace user field N (from 0) and send all fields\n"
    "  set-mode master|slave      make the board time master or slave\n"
    "  monitor [--seconds S] [--raw]\n"
    "                             print the board's fields as they change (--raw: the line)\n"
    "  sntp HOST[:PORT]           ask a time server (port 123 unless given); print its time\n"
    "                             and the PC clock's offset; never sets the clock\n"
    "\n"
    "exit status: 0 done, 1 the board, the line or a file failed, 2 bad usage or a register\n"
    "file that cannot be used (nothing sent), 130 Ctrl+C, 143 SIGTERM\n";

namespace {

template <class T>
bool parseNumber(const std::string& text, T& out, T low, T high) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

struct Parser {
    const std::vector<std::string>& args;
    std::size_t at = 0;

    bool more() const { return at < args.size(); }
    const std::string& peek() const { return args[at]; }
    std::optional<std::string> take() {
        if (!more()) {
            return std::nullopt;
        }
        return args[at++];
    }
};

}  // namespace

Request requestOf(const std::vector<std::string>& args) {
    Request request = Request::Run;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            return Request::Help;
        }
        if (arg == "--version") {
            request = Request::Version;
        }
    }
    return request;
}

std::variant<CliOptions, UsageError> parseCliOptions(const std::vector<std::string>& args) {
    CliOptions options;
    Parser p{args};
    // Global options come before the command.
    while (p.more() && p.peek().rfind("--", 0) == 0) {
        const std::string flag = *p.take();
        const auto v = p.take();
        if (!v) {
            return UsageError{flag + " needs a value"};
        }
        if (flag == "--port") {
            if (v->empty()) {
                return UsageError{"--port needs a name"};
            }
            options.port = *v;
        } else if (flag == "--speed") {
            if (*v != "9600" && *v != "115200") {
                return UsageError{"--speed must be 9600 or 115200"};
            }
            options.speed = *v == "9600" ? 9600U : 115200U;
        } else if (flag == "--address") {
            unsigned address = 0;
            if (!parseNumber(*v, address, 0U, 255U)) {
                return UsageError{"--address must be a number from 0 to 255"};
            }
            options.address = static_cast<std::uint8_t>(address);
        } else if (flag == "--delay") {
            if (!parseNumber(*v, options.delayMs, 0U, 10000U)) {
                return UsageError{"--delay must be a number of milliseconds from 0 to 10000"};
            }
        } else {
            return UsageError{"unknown option " + flag};
        }
    }
    const auto name = p.take();
    if (!name) {
        return UsageError{"no command given"};
    }
    if (*name == "ports") {
        options.command = Command::Ports;
    } else if (*name == "read-registers") {
        options.command = Command::ReadRegisters;
        if (p.more() && p.peek() == "--out") {
            p.take();
            const auto file = p.take();
            if (!file || file->empty()) {
                return UsageError{"--out needs a file name"};
            }
            options.file = *file;
        }
    } else if (*name == "write-registers") {
        options.command = Command::WriteRegisters;
        const auto file = p.take();
        if (!file || file->empty()) {
            return UsageError{"write-registers needs a register file"};
        }
        options.file = *file;
        if (p.more() && p.peek() == "--set-address") {
            p.take();
            options.setAddress = true;
        }
    } else if (*name == "sync-time") {
        options.command = Command::SyncTime;
    } else if (*name == "read-time") {
        options.command = Command::ReadTime;
    } else if (*name == "read-fields") {
        options.command = Command::ReadFields;
    } else if (*name == "write-field") {
        options.command = Command::WriteField;
        const auto index = p.take();
        const auto text = p.take();
        if (!index || !text ||
            !parseNumber(*index, options.fieldIndex, std::size_t{0}, std::size_t{31})) {
            return UsageError{"write-field needs a field number from 0 to 31 and a text"};
        }
        options.text = *text;
    } else if (*name == "set-mode") {
        options.command = Command::SetMode;
        const auto mode = p.take();
        if (!mode || (*mode != "master" && *mode != "slave")) {
            return UsageError{"set-mode needs master or slave"};
        }
        options.master = *mode == "master";
    } else if (*name == "monitor") {
        options.command = Command::Monitor;
        while (p.more()) {
            const std::string flag = *p.take();
            if (flag == "--raw") {
                options.raw = true;
            } else if (flag == "--seconds") {
                std::uint32_t seconds = 0;
                const auto v = p.take();
                if (!v || !parseNumber(*v, seconds, 1U, 31U * 24 * 3600)) {
                    return UsageError{"--seconds needs a positive number"};
                }
                options.seconds = seconds;
            } else {
                return UsageError{"unknown monitor option " + flag};
            }
        }
    } else if (*name == "sntp") {
        options.command = Command::Sntp;
        const auto host = p.take();
        if (!host || host->empty()) {
            return UsageError{"sntp needs a host name"};
        }
        options.host = *host;
        if (const std::size_t colon = host->rfind(':'); colon != std::string::npos) {
            options.host = host->substr(0, colon);
            if (options.host.empty() || !parseNumber(host->substr(colon + 1), options.sntpPort,
                                                     std::uint16_t{1}, std::uint16_t{65535})) {
                return UsageError{"sntp needs HOST or HOST:PORT with a port from 1 to 65535"};
            }
        }
    } else {
        return UsageError{"unknown command " + *name};
    }
    if (p.more()) {
        return UsageError{"unexpected argument " + p.peek()};
    }
    return options;
}

}  // namespace horalux::cli
