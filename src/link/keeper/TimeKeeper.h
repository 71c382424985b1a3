#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/keeper/KeptLine.h"
#include "platform/SystemClock.h"
#include "platform/Tick.h"

namespace horalux::link {

struct KeepTimeSettings {
    std::uint32_t periodS = 3600;
    std::uint32_t offsetLimitS = 2;
    bool trustPcClock = false;
    std::uint8_t address = 1;
    // More than one: the boards of a list, each looked at in turn and only those found off
    // written (all of them at once, to address 255, when every one is).
    std::vector<std::uint8_t> addresses;
    std::string port;  // for the messages
    // False: the line is kept open and reopened, but no time is written or read (the bridge
    // without --keep-time shares the keeper's way of keeping a line).
    bool writes = true;
};

// What the keeper works with; everything outlives it.
struct KeepTimeParts {
    KeptLine& line;
    platform::Tick& tick;
    platform::SystemClock& clock;
    std::function<bool()> pcClockSynchronised;
    std::ostream& err;
    const std::atomic<bool>& stop;
};

// Keeps the board clock at the PC's until `stop` is set: writes the time on first connecting and
// every period; with a single address, reads the board's clock between writes and writes again
// at once when it is off by more than the limit or holds no valid time. A lost line is reopened
// after pauses that grow while opening fails or the line keeps dropping soon after it opened;
// a reopened line is written at once only when the last write is a period old or the board's
// clock is found off. Tells each event on one line of `err`, none per poll.
class TimeKeeper {
  public:
    TimeKeeper(const KeepTimeSettings& settings, const KeepTimeParts& parts);
    void run();

    // How long between two looks at the board's clock: a quarter of the period, so that a drift
    // past the limit is caught well before the next write, but at most a minute.
    std::uint32_t checkIntervalMs() const;
    // The pause before reopening attempt `failures` (0 for the first try after a failure).
    static std::uint32_t reopenPauseMs(unsigned failures);

  private:
    enum class Reason { Connected, Period, PastLimit, Invalid };
    enum Request { ClockRead, ClockWrite, RequestCount };
    using Silence = std::array<bool, RequestCount>;

    bool connect(bool first);
    void keepConnected();
    bool waitForSynchronisedClock();
    bool write(Reason reason);
    std::string reasonText(Reason reason) const;
    // Whether the board answered; tells once when it falls silent to `request` and once when
    // it answers it again.
    bool answered(KeptLine::Outcome outcome, Request request);
    bool answered(KeptLine::Outcome outcome, Request request, std::uint8_t address,
                  Silence& silent);
    // A list of boards: every board's clock is looked at every check interval, and at once and
    // every period; the boards off by more than the limit (at a period: by a second or more),
    // without a valid time or (at a period) unread are written.
    bool listed() const { return settings_.addresses.size() > 1; }
    void keepList();
    // One look at every board of the list and the writes it calls for; false when the line was
    // lost or nothing due could be written.
    bool tendList(bool periodic, Reason reason);
    // When a freshly opened line is first written and first looked at, and why.
    struct FirstRound {
        Reason reason;
        std::uint32_t nextWrite;
        std::uint32_t nextCheck;
    };
    FirstRound firstRound() const;
    // Forgets a write a period old: the next connection writes at once. Called at least every
    // minute or period, so the tick's 32-bit difference never wraps.
    void forgetStaleWrite();
    void say(const std::string& text);
    bool stopped() const { return parts_.stop.load(); }
    std::string boardName() const { return boardName(settings_.address); }
    static std::string boardName(std::uint8_t address);

    KeepTimeSettings settings_;
    KeepTimeParts parts_;
    Silence silent_ = {};
    std::map<std::uint8_t, Silence> listSilent_;  // per board of a list
    // Failed opens and early drops since the line last stayed up; sets the reopen pause.
    unsigned failures_ = 0;
    std::optional<std::uint32_t> lastWriteAt_;
};

}  // namespace horalux::link
