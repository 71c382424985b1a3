#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "platform/SystemClock.h"
#include "platform/Tick.h"

namespace horalux::cli {

class ArgumentReader;
struct CliOptions;

// A period as "60s", "15m", "1h" or "1d": whole seconds from 1 s to 7 days; nothing when the
// text is none of these.
std::optional<std::uint32_t> parseKeepPeriod(const std::string& text);
// "1 h", "90 s": a period as the messages name it.
std::string periodText(std::uint32_t seconds);

// keep-time's own arguments; the reason when they are wrong.
std::optional<std::string> keepTimeArguments(ArgumentReader& args, CliOptions& options);

// The board's line as the keeper uses it: one request at a time, each waited for.
class KeptLine {
  public:
    enum class Outcome {
        Done,
        NoAnswer,  // the board stayed silent; the line itself is fine
        Lost,      // the line went down, or the exchange was stopped
    };
    struct Reading {
        Outcome outcome = Outcome::Done;
        std::optional<platform::LocalDateTime> clock;  // Done and a valid date and time
    };

    virtual ~KeptLine() = default;
    // Opens the port and starts the exchange; the reason when it cannot (device and cause).
    virtual std::optional<std::string> open() = 0;
    virtual void close() = 0;
    // Writes the PC time into the board clock (to all boards at address 255).
    virtual Outcome writeTime() = 0;
    // Reads the board's clock as it keeps it.
    virtual Reading readClock() = 0;
    // Lets `ms` pass while serving the line; returns early once the line is lost or `stop` is
    // set. Also called with no port open.
    virtual void serve(std::uint32_t ms) = 0;
    virtual bool lost() const = 0;
};

struct KeepTimeSettings {
    std::uint32_t periodS = 3600;
    std::uint32_t offsetLimitS = 2;
    bool trustPcClock = false;
    std::uint8_t address = 1;
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

    bool connect(bool first);
    void keepConnected();
    bool waitForSynchronisedClock();
    bool write(Reason reason);
    // Whether the board answered; tells once when it falls silent to `request` and once when
    // it answers it again.
    bool answered(KeptLine::Outcome outcome, Request request);
    // Forgets a write a period old: the next connection writes at once. Called at least every
    // minute or period, so the tick's 32-bit difference never wraps.
    void forgetStaleWrite();
    void say(const std::string& text);
    bool stopped() const { return parts_.stop.load(); }
    std::string boardName() const;

    KeepTimeSettings settings_;
    KeepTimeParts parts_;
    bool silent_[RequestCount] = {};
    // Failed opens and early drops since the line last stayed up; sets the reopen pause.
    unsigned failures_ = 0;
    std::optional<std::uint32_t> lastWriteAt_;
};

}  // namespace horalux::cli
