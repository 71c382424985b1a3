#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/SystemClock.h"
#include "platform/Tick.h"

namespace horalux::link {

// What to look for: every address of the range at every speed, in the order given.
struct ScanOptions {
    std::vector<std::uint32_t> speeds{9600, 115200};
    std::uint8_t firstAddress = 1;
    std::uint8_t lastAddress = 254;
    std::uint32_t delayTimeMs = 100;  // the extra pause after each frame (DelayTime)
};

// A board that answered, with what it said of its mode and its clock.
struct FoundBoard {
    std::uint8_t address = 0;
    std::uint32_t speed = 0;
    std::optional<std::uint8_t> modeFlags;         // nothing when the mode read went unanswered
    std::optional<std::int64_t> clockDifferenceS;  // board minus PC; nothing when unknown
    bool master() const;

    friend bool operator==(const FoundBoard&, const FoundBoard&) = default;
};

struct ScanProgress {
    std::uint32_t speed = 0;
    std::uint8_t address = 0;  // being probed now
    std::size_t found = 0;
    std::size_t probesDone = 0;
    std::size_t probesTotal = 0;
    std::uint32_t msLeft = 0;  // at the protocol's pace
};

struct ScanResult {
    std::vector<FoundBoard> boards;  // in the order they were found
    bool stopped = false;            // a stop ended it early
    std::string failure;             // why the line failed, which ended the scan; empty if not
};

struct ScanCallbacks {
    // Before each probe.
    std::function<void(const ScanProgress&)> progress = {};
    // Each board, as soon as its mode and clock are known.
    std::function<void(const FoundBoard&)> found = {};
};

// The reply time-out of an ordinary register read in the exchange. The mode and clock reads of a
// board that answered wait this long, and so does the last probe at a speed before the speed
// changes: a slow board at the end of the range would be missed else.
inline constexpr std::uint32_t kScanReplyTimeoutMs = 1000;

// The protocol's own time for one probe: the frame's wire time, the pause after it and the
// reply wait.
double probeBoundMs(std::uint32_t speed, std::uint32_t delayTimeMs);
// How long a probe listens after the pause: just the time the reply takes on the wire.
std::uint32_t replyWaitMs(std::uint32_t speed);
// An address as the address list writes it: "$0A/10".
std::string boardAddressText(std::uint8_t address);

// Finds the boards on a line: one register-76 read per address and speed with one try and a
// short reply wait, then the mode register and the clock of each board that answered. A reply
// that comes late (during a later probe, or up to the exchange's reply time-out after the last)
// still counts: it carries the board's address. A board is listed only when it answers its mode
// or its clock read as well. Runs on the calling thread; the port must have no exchange on it.
// Its speed is left at the last one scanned.
class BoardScan {
  public:
    BoardScan(platform::SerialPort& port, platform::Tick& tick, platform::SystemClock& clock,
              ScanOptions options);

    // A stop ends the scan within one request; the boards found so far are kept.
    ScanResult run(const std::stop_token& stop, const ScanCallbacks& callbacks = {});

  private:
    platform::SerialPort& port_;
    platform::Tick& tick_;
    platform::SystemClock& clock_;
    ScanOptions options_;
};

}  // namespace horalux::link
