#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace horalux::board {

struct BoardOptions {
    std::vector<std::uint8_t> addresses;  // one board per address; {1} when none is given
    std::string linkPath;                 // symlink to the device, or empty
    // Register files to start from: one for every board, or the n-th for the n-th --address.
    std::vector<std::string> registersPaths;
    bool master = false;                  // the first board starts as time master
    std::uint32_t speed = 9600;
    bool lineTiming = false;   // bytes cost ten bit times at `speed`
    bool strictSpeed = false;  // frames at another speed than `speed` are not understood
    std::vector<std::uint8_t> muted;
    bool deafClock = false;  // clock reads go unanswered; all else is answered
    std::uint32_t dropFirst = 0;
    std::uint32_t corruptEvery = 0;
    std::uint32_t noiseMs = 0;
    std::uint32_t hangupAfter = 0;
    std::uint32_t muteAfter = 0;  // replies a muted board gives before it falls silent
    std::optional<std::uint8_t> stuckRegister;  // written, acknowledged, never changed
    std::uint32_t seed = 1;                     // of the noise bytes
    double clockRate = 1.0;                     // how fast the boards' clocks run against real time
    bool verbose = false;
    bool help = false;     // --help or -h
    bool version = false;  // --version
};

extern const std::string_view kUsage;

// The options, or the reason they are refused.
std::variant<BoardOptions, std::string> parseBoardOptions(std::span<const std::string_view> args);

}  // namespace horalux::board
