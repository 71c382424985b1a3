#include "CliOptions.h"

#include <algorithm>
#include <cstddef>

#include "AddressList.h"
#include "CliCommandTable.h"
#include "platform/net/tls/TlsPin.h"

namespace horalux::cli {

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

const CliCommand* helpCommandOf(const std::vector<std::string>& args) {
    std::size_t at = 0;
    // Every global option takes a value.
    while (at < args.size() && args[at].rfind("--", 0) == 0 && args[at] != "--help") {
        at += 2;
    }
    return at < args.size() ? findCliCommand(args[at]) : nullptr;
}

std::variant<CliOptions, UsageError> parseCliOptions(const std::vector<std::string>& args) {
    CliOptions options;
    ArgumentReader p(args, 0);
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
            std::vector<std::string> names{*v};
            if (v->front() == '@') {
                names.clear();
                if (auto problem = readListFile(v->substr(1), names)) {
                    return UsageError{"--port: " + *problem};
                }
                if (names.empty()) {
                    return UsageError{"--port: " + v->substr(1) + " lists no port"};
                }
            }
            for (std::string& name : names) {
                // A port opens once at a time: the same one twice would only fail the second.
                if (std::find(options.ports.begin(), options.ports.end(), name) ==
                    options.ports.end()) {
                    options.ports.push_back(std::move(name));
                }
            }
            options.port = options.ports.front();
        } else if (flag == "--speed") {
            if (*v != "9600" && *v != "115200") {
                return UsageError{"--speed must be 9600 or 115200"};
            }
            options.speed = *v == "9600" ? 9600U : 115200U;
        } else if (flag == "--address") {
            if (auto problem = parseAddressList(*v, options.addresses)) {
                return UsageError{std::move(*problem)};
            }
            options.address = options.addresses.front();
        } else if (flag == "--delay") {
            if (!parseNumber(*v, options.delayMs, 0U, 10000U)) {
                return UsageError{"--delay must be a number of milliseconds from 0 to 10000"};
            }
        } else if (flag == "--ca") {
            options.tls.caFile = *v;
        } else if (flag == "--pin") {
            if (!platform::parsePin(*v)) {
                return UsageError{"--pin must be " + std::string(platform::kPinForm)};
            }
            options.tls.pin = *v;
        } else if (flag == "--cert") {
            options.tls.certFile = *v;
        } else if (flag == "--key") {
            options.tls.keyFile = *v;
        } else {
            return UsageError{"unknown option " + flag};
        }
    }
    if (options.tls.certFile.empty() != options.tls.keyFile.empty()) {
        return UsageError{"--cert and --key come together"};
    }
    const auto name = p.take();
    if (!name) {
        return UsageError{"no command given"};
    }
    options.command = findCliCommand(*name);
    if (options.command == nullptr) {
        return UsageError{"unknown command " + *name};
    }
    if (options.command->parse != nullptr) {
        if (auto problem = options.command->parse(p, options)) {
            return UsageError{std::move(*problem), options.command};
        }
    }
    if (p.more()) {
        return UsageError{"unexpected argument " + p.peek(), options.command};
    }
    if (options.command->wholeList && options.ports.size() > 1) {
        return UsageError{std::string(options.command->name) +
                          " works on one port: run one for each port"};
    }
    if (options.perBoard() && !options.command->perBoard && !options.command->wholeList) {
        return UsageError{std::string(options.command->name) +
                          " works on one board of one port: give one --address and one --port"};
    }
    if (options.addresses.size() > 1 && options.setAddress) {
        return UsageError{"--set-address needs one board: with a list every board keeps its own"};
    }
    if (options.perBoard() && !options.file.empty() && options.command->name == "read-registers") {
        return UsageError{"--out names one file: with several boards or ports give --out-dir DIR"};
    }
    return options;
}

}  // namespace horalux::cli
