// keep-time on a list of boards: every board's clock is read, and only those found off are
// written, so that a line of thirty boards is not rewritten whole for one that drifted.
#include <string>
#include <vector>

#include "link/keeper/TimeKeeper.h"
#include "link/wire/Commands.h"
#include "timesync/ClockDifference.h"

namespace horalux::link {
namespace {

constexpr std::uint32_t kMsPerS = 1000;

}  // namespace

void TimeKeeper::keepList() {
    const std::uint32_t periodMs = settings_.periodS * kMsPerS;
    std::uint32_t now = parts_.tick.nowMs();
    auto [reason, nextWrite, nextCheck] = firstRound();
    while (!stopped() && !parts_.line.lost()) {
        forgetStaleWrite();
        now = parts_.tick.nowMs();
        const bool periodic = platform::tickReached(now, nextWrite);
        if (periodic || platform::tickReached(now, nextCheck)) {
            const bool done = tendList(periodic, reason);
            if (stopped() || parts_.line.lost()) {
                return;
            }
            now = parts_.tick.nowMs();
            if (periodic) {
                // A round that could not write what was due is tried again at the next look.
                nextWrite = now + (done ? periodMs : checkIntervalMs());
                if (done) {
                    lastWriteAt_ = now;
                    reason = Reason::Period;
                }
            }
            nextCheck = now + checkIntervalMs();
        }
        const std::uint32_t until =
            static_cast<std::int32_t>(nextCheck - nextWrite) < 0 ? nextCheck : nextWrite;
        if (!platform::tickReached(now, until)) {
            parts_.line.serve(until - now);
        }
    }
}

bool TimeKeeper::tendList(bool periodic, Reason reason) {
    struct Due {
        std::uint8_t address;
        Reason reason;
        std::string found;
    };
    std::vector<Due> due;
    for (const std::uint8_t address : settings_.addresses) {
        Silence& silent = listSilent_[address];
        const KeptLine::Reading reading = parts_.line.readClock(address);
        if (reading.outcome == KeptLine::Outcome::Lost || stopped()) {
            return false;
        }
        if (!answered(reading.outcome, ClockRead, address, silent)) {
            // A silent board may only have missed the read: the period's write is its due.
            if (periodic) {
                due.push_back({address, reason, "; its clock was not read"});
            }
            continue;
        }
        if (!reading.clock) {
            due.push_back({address, Reason::Invalid, {}});
            continue;
        }
        const std::int64_t ahead = timesync::boardAheadSeconds(*reading.clock, parts_.clock.now());
        const std::int64_t size = ahead < 0 ? -ahead : ahead;
        // At a period any whole second off is put right; between, only past the limit.
        if (periodic ? size > 0 : size > settings_.offsetLimitS) {
            due.push_back({address, periodic ? reason : Reason::PastLimit,
                           "; difference found " +
                               timesync::differenceText(*reading.clock, parts_.clock.now())});
        }
    }
    if (due.empty()) {
        if (periodic) {
            say("the clocks of all " + std::to_string(settings_.addresses.size()) +
                " boards are within a second of the PC's; nothing written");
        }
        return true;
    }
    if (!waitForSynchronisedClock()) {
        return false;
    }
    if (due.size() == settings_.addresses.size()) {
        // One frame reaches them all; it is not answered, so it cannot fail on a silent board.
        if (parts_.line.writeTime(kAllBoards) != KeptLine::Outcome::Done) {
            return false;
        }
        say("time written to all boards (" + reasonText(reason) + "; every board of the " +
            "list was off)");
        return true;
    }
    bool all = true;
    for (const Due& d : due) {
        const KeptLine::Outcome outcome = parts_.line.writeTime(d.address);
        if (outcome == KeptLine::Outcome::Lost) {
            return false;
        }
        if (!answered(outcome, ClockWrite, d.address, listSilent_[d.address])) {
            all = false;
            continue;
        }
        say("time written to " + boardName(d.address) + " (" + reasonText(d.reason) + ")" +
            d.found);
    }
    return all;
}

}  // namespace horalux::link
