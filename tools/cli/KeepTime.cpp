#include "KeepTime.h"

#include <algorithm>
#include <ostream>

#include "CliCommandTable.h"
#include "CliFormat.h"
#include "CliOptions.h"
#include "link/wire/Commands.h"

namespace horalux::cli {
namespace {

constexpr std::uint32_t kMsPerS = 1000;
// The tick compares times less than 24 days apart; a week is more than any board needs.
constexpr std::uint32_t kLongestPeriodS = 7U * 24 * 3600;
constexpr std::uint32_t kLongestCheckMs = 60 * kMsPerS;
constexpr std::uint32_t kFirstReopenPauseMs = kMsPerS;
constexpr std::uint32_t kLongestReopenPauseMs = 60 * kMsPerS;
constexpr std::uint32_t kUnsyncNoticeMs = 60 * kMsPerS;
constexpr std::uint32_t kSyncLookMs = kMsPerS;

struct Unit {
    char letter;
    std::uint32_t seconds;
    const char* name;
};
constexpr Unit kUnits[] = {
    {'d', 24 * 3600, "d"}, {'h', 3600, "h"}, {'m', 60, "min"}, {'s', 1, "s"}};

}  // namespace

std::optional<std::uint32_t> parseKeepPeriod(const std::string& text) {
    if (text.size() < 2) {
        return std::nullopt;
    }
    const auto* unit = std::find_if(std::begin(kUnits), std::end(kUnits),
                                    [&](const Unit& u) { return u.letter == text.back(); });
    std::uint32_t count = 0;
    if (unit == std::end(kUnits) ||
        !parseNumber(text.substr(0, text.size() - 1), count, 1U, kLongestPeriodS / unit->seconds)) {
        return std::nullopt;
    }
    return count * unit->seconds;
}

std::string periodText(std::uint32_t seconds) {
    for (const Unit& unit : kUnits) {
        if (seconds % unit.seconds == 0) {
            return std::to_string(seconds / unit.seconds) + " " + unit.name;
        }
    }
    return std::to_string(seconds) + " s";
}

std::optional<std::string> keepTimeArguments(ArgumentReader& args, CliOptions& options) {
    while (args.more()) {
        const std::string flag = *args.take();
        if (flag == "--trust-pc-clock") {
            options.trustPcClock = true;
        } else if (flag == "--period") {
            const auto v = args.take();
            const auto period = v ? parseKeepPeriod(*v) : std::nullopt;
            if (!period) {
                return "--period needs a time such as 60s, 1h, 3h or 1d";
            }
            options.keepPeriodS = *period;
        } else if (flag == "--offset-limit") {
            const auto v = args.take();
            if (!v || !parseNumber(*v, options.offsetLimitS, 1U, 3600U)) {
                return "--offset-limit needs a number of seconds from 1 to 3600";
            }
        } else {
            return "unknown keep-time option " + flag;
        }
    }
    return std::nullopt;
}

TimeKeeper::TimeKeeper(const KeepTimeSettings& settings, const KeepTimeParts& parts)
    : settings_(settings), parts_(parts) {}

std::uint32_t TimeKeeper::checkIntervalMs() const {
    return std::clamp(settings_.periodS * kMsPerS / 4, kMsPerS, kLongestCheckMs);
}

std::uint32_t TimeKeeper::reopenPauseMs(unsigned failures) {
    const unsigned doublings = std::min(failures, 6U);
    return std::min(kFirstReopenPauseMs << doublings, kLongestReopenPauseMs);
}

void TimeKeeper::say(const std::string& text) {
    parts_.err << "horalux-cli: " << text << std::endl;
}

std::string TimeKeeper::boardName() const {
    return settings_.address == link::kAllBoards ? "all boards"
                                                 : "board " + std::to_string(settings_.address);
}

void TimeKeeper::run() {
    for (bool first = true; !stopped(); first = false) {
        if (!connect(first)) {
            break;
        }
        keepConnected();
        parts_.line.close();
        if (stopped()) {
            break;
        }
        say("the line to " + settings_.port + " is lost; reopening it");
    }
    parts_.line.close();
}

bool TimeKeeper::connect(bool first) {
    std::string told;
    // After a loss the device is most likely still gone: the first try waits a pause too.
    for (unsigned failures = first ? 0 : 1; !stopped(); ++failures) {
        if (failures > 0) {
            parts_.line.serve(reopenPauseMs(failures - 1));
            if (stopped()) {
                break;
            }
        }
        const std::optional<std::string> problem = parts_.line.open();
        if (!problem) {
            say(first ? "connected to " + settings_.port : "reopened " + settings_.port);
            return true;
        }
        // Said again only when the cause changes: the pauses grow to a minute, and a cause
        // repeated every minute would fill the journal with nothing new.
        if (*problem != told) {
            say("cannot open " + settings_.port + ": " + *problem +
                "; trying again with pauses growing to " +
                std::to_string(kLongestReopenPauseMs / kMsPerS) + " s");
            told = *problem;
        }
    }
    return false;
}

bool TimeKeeper::waitForSynchronisedClock() {
    if (settings_.trustPcClock || parts_.pcClockSynchronised()) {
        return true;
    }
    std::uint32_t toldAt = parts_.tick.nowMs();
    say("the PC clock is not synchronised: no time is written until it is, since a wrong time in "
        "every board is worse than none (--trust-pc-clock writes it anyway)");
    while (!stopped() && !parts_.line.lost()) {
        parts_.line.serve(kSyncLookMs);
        if (parts_.pcClockSynchronised()) {
            return !stopped() && !parts_.line.lost();
        }
        if (platform::elapsedMs(toldAt, parts_.tick.nowMs()) >= kUnsyncNoticeMs) {
            say("the PC clock is still not synchronised; waiting");
            toldAt = parts_.tick.nowMs();
        }
    }
    return false;
}

bool TimeKeeper::answered(KeptLine::Outcome outcome, const char* request) {
    if (outcome == KeptLine::Outcome::Lost) {
        return false;
    }
    if (outcome == KeptLine::Outcome::NoAnswer) {
        if (!silent_) {
            say(boardName() + " did not answer the " + request + "; asking again every " +
                periodText(checkIntervalMs() / kMsPerS) + " until it does");
            silent_ = true;
        }
        return false;
    }
    if (silent_) {
        say(boardName() + " answers again");
        silent_ = false;
    }
    return true;
}

bool TimeKeeper::write(Reason reason) {
    std::string found;
    if (settings_.address != link::kAllBoards) {
        // Read first, so that the line tells how far off the board was.
        const KeptLine::Reading reading = parts_.line.readClock();
        if (!answered(reading.outcome, "clock read")) {
            return false;
        }
        found = reading.clock
                    ? "; difference found " + differenceText(*reading.clock, parts_.clock.now())
                    : "; its clock reply held no valid date and time";
    }
    if (!answered(parts_.line.writeTime(), "clock write")) {
        return false;
    }
    std::string why = "on connecting";
    if (reason == Reason::Period) {
        why = "every " + periodText(settings_.periodS);
    } else if (reason == Reason::PastLimit) {
        why = "off by more than " + std::to_string(settings_.offsetLimitS) + " s";
    }
    say("time written to " + boardName() + " (" + why + ")" + found);
    return true;
}

void TimeKeeper::keepConnected() {
    const bool oneBoard = settings_.address != link::kAllBoards;
    const std::uint32_t periodMs = settings_.periodS * kMsPerS;
    Reason reason = Reason::Connected;
    std::uint32_t nextWrite = parts_.tick.nowMs();
    std::uint32_t nextCheck = nextWrite + checkIntervalMs();
    while (!stopped() && !parts_.line.lost()) {
        std::uint32_t now = parts_.tick.nowMs();
        if (platform::tickReached(now, nextWrite)) {
            if (!waitForSynchronisedClock()) {
                return;
            }
            const bool written = write(reason);
            if (stopped() || parts_.line.lost()) {
                return;
            }
            now = parts_.tick.nowMs();
            // A write the board did not take is tried again at the next look, not a period on.
            nextWrite = now + (written ? periodMs : checkIntervalMs());
            if (written) {
                reason = Reason::Period;
            }
            nextCheck = now + checkIntervalMs();
        } else if (oneBoard && platform::tickReached(now, nextCheck)) {
            const KeptLine::Reading reading = parts_.line.readClock();
            now = parts_.tick.nowMs();
            nextCheck = now + checkIntervalMs();
            if (answered(reading.outcome, "clock read") && reading.clock) {
                const std::int64_t ahead = boardAheadSeconds(*reading.clock, parts_.clock.now());
                if ((ahead < 0 ? -ahead : ahead) > settings_.offsetLimitS) {
                    reason = Reason::PastLimit;
                    nextWrite = now;
                    continue;
                }
            }
        }
        std::uint32_t until = nextWrite;
        if (oneBoard && static_cast<std::int32_t>(nextCheck - until) < 0) {
            until = nextCheck;
        }
        if (!platform::tickReached(now, until)) {
            parts_.line.serve(until - now);
        }
    }
}

}  // namespace horalux::cli
