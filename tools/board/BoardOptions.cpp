#include "board/BoardOptions.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace horalux::board {

const std::string_view kUsage =
    R"(usage: horalux-board [options]
Stands in for seven-segment display boards on a pseudo-terminal. Prints the device path as the
first line of its output and serves the line until interrupted.

  --address N        emulate a board at address N (0..254); repeatable, default 1
  --link PATH        also make a symlink PATH to the device (removed at exit)
  --registers FILE   start from the register values of a register file (.cs); given once
                     per --address, each board starts from its own
  --master           the first board sends status and field layout frames as time master
  --speed BPS        line speed in bit/s (default 9600)
  --line-timing      let every byte take ten bit times at that speed, both ways: bytes
                     are taken off the line no faster than a UART receives them
  --strict-speed     understand only what the program sends at BPS: a frame sent at
                     another speed (the speed the program set the line to) is garbage
  --mute N           the board at address N never answers; repeatable
  --mute-after K     the boards of --mute answer their first K requests, then fall silent
  --stuck-register R the boards acknowledge writes to register R but keep its value (a
                     register the firmware lacks)
  --deaf-clock       the boards never answer a clock read (a failed clock chip); they
                     answer everything else
  --drop-first K     ignore each distinct request K times before answering it
  --corrupt-every K  every K-th reply carries a bad header checksum
  --noise MS         random bytes on the line every MS milliseconds
  --hangup-after K   close the line after K requests, as an unplugged adapter does
  --seed N           seed of the noise bytes (default 1)
  --clock-rate R     the boards' clocks run R times as fast as real time, 0.01..1000
                     (1.5 gains 30 s a minute, 0.5 loses 30 s a minute; default 1)
  --verbose          log on standard error the bytes received, each request decoded, each
                     reply sent and the line's speed whenever it changes
  --help, -h         show this text
  --version          show the version
)";

namespace {

std::optional<std::uint32_t> parseNumber(std::string_view text, std::uint32_t min,
                                         std::uint32_t max) {
    std::uint32_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseRate(std::string_view text) {
    double value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != end || !(value >= 0.01 && value <= 1000)) {
        return std::nullopt;
    }
    return value;
}

struct NumberOption {
    std::string_view name;
    std::uint32_t min;
    std::uint32_t max;
};

constexpr NumberOption kNumberOptions[] = {
    {"--address", 0, 254},
    {"--mute", 0, 254},
    {"--speed", 50, 4000000},
    {"--drop-first", 0, 1000},
    {"--corrupt-every", 1, 1000000},
    {"--noise", 1, 3600000},
    {"--hangup-after", 1, 100000000},
    {"--mute-after", 0, 100000000},
    {"--stuck-register", 0, 255},
    {"--seed", 0, 4294967295U},
};

constexpr std::string_view kTextOptions[] = {"--link", "--registers"};

}  // namespace

std::variant<BoardOptions, std::string> parseBoardOptions(std::span<const std::string_view> args) {
    BoardOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> value;
        if (const auto eq = name.find('=');
            name.starts_with("--") && eq != std::string_view::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        auto takeValue = [&]() -> std::optional<std::string_view> {
            if (value) {
                return value;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };

        if (name == "-h") {
            name = "--help";
        }
        if (name == "--master" || name == "--line-timing" || name == "--strict-speed" ||
            name == "--verbose" || name == "--deaf-clock" || name == "--help" ||
            name == "--version") {
            if (value) {
                return "option " + std::string(name) + " takes no value";
            }
            (name == "--master"         ? options.master
             : name == "--line-timing"  ? options.lineTiming
             : name == "--strict-speed" ? options.strictSpeed
             : name == "--verbose"      ? options.verbose
             : name == "--deaf-clock"   ? options.deafClock
             : name == "--version"      ? options.version
                                        : options.help) = true;
            continue;
        }
        if (name == "--clock-rate") {
            const auto text = takeValue();
            const auto rate = text ? parseRate(*text) : std::nullopt;
            if (!rate) {
                return "option --clock-rate needs a number from 0.01 to 1000";
            }
            options.clockRate = *rate;
            continue;
        }
        if (std::find(std::begin(kTextOptions), std::end(kTextOptions), name) !=
            std::end(kTextOptions)) {
            const auto text = takeValue();
            if (!text || text->empty()) {
                return "option " + std::string(name) + " needs a path";
            }
            if (name == "--link") {
                options.linkPath = std::string(*text);
            } else {
                options.registersPaths.emplace_back(*text);
            }
            continue;
        }
        const auto* number = std::find_if(std::begin(kNumberOptions), std::end(kNumberOptions),
                                          [&](const NumberOption& o) { return o.name == name; });
        if (number == std::end(kNumberOptions)) {
            return "unknown argument " + std::string(args[i]);
        }
        const auto text = takeValue();
        const auto parsed = text ? parseNumber(*text, number->min, number->max) : std::nullopt;
        if (!parsed) {
            return "option " + std::string(name) + " needs a number from " +
                   std::to_string(number->min) + " to " + std::to_string(number->max);
        }
        const std::uint32_t v = *parsed;
        if (name == "--address" || name == "--mute") {
            auto& list = name == "--address" ? options.addresses : options.muted;
            const auto address = static_cast<std::uint8_t>(v);
            if (std::find(list.begin(), list.end(), address) != list.end()) {
                return "address " + std::to_string(v) + " given twice to " + std::string(name);
            }
            list.push_back(address);
        } else if (name == "--speed") {
            options.speed = v;
        } else if (name == "--drop-first") {
            options.dropFirst = v;
        } else if (name == "--corrupt-every") {
            options.corruptEvery = v;
        } else if (name == "--noise") {
            options.noiseMs = v;
        } else if (name == "--hangup-after") {
            options.hangupAfter = v;
        } else if (name == "--mute-after") {
            options.muteAfter = v;
        } else if (name == "--stuck-register") {
            options.stuckRegister = static_cast<std::uint8_t>(v);
        } else {
            options.seed = v;
        }
    }
    if (options.addresses.empty()) {
        options.addresses.push_back(1);
    }
    if (options.registersPaths.size() > 1 &&
        options.registersPaths.size() != options.addresses.size()) {
        return "--registers is given " + std::to_string(options.registersPaths.size()) +
               " times for " + std::to_string(options.addresses.size()) +
               " boards: give it once, or once per --address";
    }
    for (const std::uint8_t m : options.muted) {
        if (std::find(options.addresses.begin(), options.addresses.end(), m) ==
            options.addresses.end()) {
            return "--mute " + std::to_string(m) + " names no emulated board";
        }
    }
    return options;
}

}  // namespace horalux::board
