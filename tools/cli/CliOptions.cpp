#include "CliOptions.h"

#include <cstddef>

#include "CliCommandTable.h"

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
    options.command = findCliCommand(*name);
    if (options.command == nullptr) {
        return UsageError{"unknown command " + *name};
    }
    if (options.command->parse != nullptr) {
        if (auto problem = options.command->parse(p, options)) {
            return UsageError{std::move(*problem)};
        }
    }
    if (p.more()) {
        return UsageError{"unexpected argument " + p.peek()};
    }
    return options;
}

}  // namespace horalux::cli
