#include "link/keeper/TimeKeeper.h"

#include <algorithm>
#include <ostream>

#include "link/wire/Commands.h"
#include "platform/PortNameText.h"
#include "timesync/ClockDifference.h"
#include "timesync/KeepPeriod.h"

namespace horalux::link {
namespace {

constexpr std::uint32_t kMsPerS = 1000;
constexpr std::uint32_t kLongestCheckMs = 60 * kMsPerS;
constexpr std::uint32_t kFirstReopenPauseMs = kMsPerS;
constexpr std::uint32_t kLongestReopenPauseMs = 60 * kMsPerS;
constexpr std::uint32_t kUnsyncNoticeMs = 60 * kMsPerS;
constexpr std::uint32_t kSyncLookMs = kMsPerS;
// A line that stays up this long is sound again: the next loss is reopened after the first pause.
// Shorter than that, a drop counts as a failed open, so a line that drops after every write,
// or a device server that floods it, is not reopened and written every few seconds.
constexpr std::uint32_t kSteadyLineMs = kLongestReopenPauseMs;

}  // namespace

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

std::string TimeKeeper::boardName(std::uint8_t address) {
    return address == kAllBoards ? "all boards" : "board " + std::to_string(address);
}

void TimeKeeper::run() {
    for (bool first = true; !stopped(); first = false) {
        if (!connect(first)) {
            break;
        }
        const std::uint32_t openedAt = parts_.tick.nowMs();
        keepConnected();
        parts_.line.close();
        if (stopped()) {
            break;
        }
        if (platform::elapsedMs(openedAt, parts_.tick.nowMs()) >= kSteadyLineMs) {
            failures_ = 0;
        }
        ++failures_;
        say("the line to " + platform::shownPortName(settings_.port) +
            " is lost; reopening it in " +
            timesync::periodText(reopenPauseMs(failures_ - 1) / kMsPerS));
    }
    parts_.line.close();
}

void TimeKeeper::forgetStaleWrite() {
    if (lastWriteAt_ &&
        platform::elapsedMs(*lastWriteAt_, parts_.tick.nowMs()) >= settings_.periodS * kMsPerS) {
        lastWriteAt_.reset();
    }
}

bool TimeKeeper::connect(bool first) {
    std::string told;
    // A loss counts as a failure: the device is most likely still gone, so the first try after
    // one waits a pause too.
    for (; !stopped(); ++failures_) {
        if (failures_ > 0) {
            parts_.line.serve(reopenPauseMs(failures_ - 1));
            if (stopped()) {
                break;
            }
        }
        forgetStaleWrite();
        const std::optional<std::string> problem = parts_.line.open();
        if (!problem) {
            say(first ? "connected to " + platform::shownPortName(settings_.port)
                      : "reopened " + platform::shownPortName(settings_.port));
            return true;
        }
        // Said again only when the cause changes: the pauses grow to a minute, and a cause
        // repeated every minute would fill the journal with nothing new.
        if (*problem != told) {
            // A network port's cause names the port already, as given.
            const std::string port = platform::shownPortName(settings_.port);
            std::string_view cause = *problem;
            if (cause.starts_with(port + ": ")) {
                cause.remove_prefix(port.size() + 2);
            }
            say("cannot open " + port + ": " + std::string(cause) +
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

bool TimeKeeper::answered(KeptLine::Outcome outcome, Request request) {
    return answered(outcome, request, settings_.address, silent_);
}

bool TimeKeeper::answered(KeptLine::Outcome outcome, Request request, std::uint8_t address,
                          Silence& silent) {
    if (outcome == KeptLine::Outcome::Lost) {
        return false;
    }
    const char* name = request == ClockRead ? "clock read" : "clock write";
    if (outcome == KeptLine::Outcome::NoAnswer) {
        if (!silent[request]) {
            say(boardName(address) + " did not answer the " + name + "; asking again every " +
                timesync::periodText(checkIntervalMs() / kMsPerS) + " until it does");
            silent[request] = true;
        }
        return false;
    }
    if (silent[request]) {
        say(boardName(address) + " answers the " + name + " again");
        silent[request] = false;
    }
    return true;
}

std::string TimeKeeper::reasonText(Reason reason) const {
    switch (reason) {
        case Reason::Period:
            return "every " + timesync::periodText(settings_.periodS);
        case Reason::PastLimit:
            return "off by more than " + std::to_string(settings_.offsetLimitS) + " s";
        case Reason::Invalid:
            return "its clock held no valid time";
        case Reason::Connected:
            break;
    }
    return "on connecting";
}

bool TimeKeeper::write(Reason reason) {
    std::string found;
    if (settings_.address != kAllBoards) {
        // Read first, so that the line tells how far off the board was. A board that does not
        // answer the read still gets the time: only the drift check needs the reading.
        const KeptLine::Reading reading = parts_.line.readClock(settings_.address);
        if (reading.outcome == KeptLine::Outcome::Lost) {
            return false;
        }
        if (!answered(reading.outcome, ClockRead)) {
            found = "; its clock was not read";
        } else if (reading.clock) {
            found = "; difference found " +
                    timesync::differenceText(*reading.clock, parts_.clock.now());
        } else if (reason != Reason::Invalid) {
            found = "; its clock reply held no valid date and time";
        }
    }
    if (!answered(parts_.line.writeTime(settings_.address), ClockWrite)) {
        return false;
    }
    lastWriteAt_ = parts_.tick.nowMs();
    say("time written to " + boardName() + " (" + reasonText(reason) + ")" + found);
    return true;
}

void TimeKeeper::keepConnected() {
    if (!settings_.writes) {
        while (!stopped() && !parts_.line.lost()) {
            parts_.line.serve(kLongestCheckMs);
        }
        return;
    }
    if (listed()) {
        keepList();
        return;
    }
    const bool oneBoard = settings_.address != kAllBoards;
    const std::uint32_t periodMs = settings_.periodS * kMsPerS;
    std::uint32_t now = parts_.tick.nowMs();
    auto [reason, nextWrite, nextCheck] = firstRound();
    while (!stopped() && !parts_.line.lost()) {
        forgetStaleWrite();
        now = parts_.tick.nowMs();
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
            const KeptLine::Reading reading = parts_.line.readClock(settings_.address);
            now = parts_.tick.nowMs();
            nextCheck = now + checkIntervalMs();
            if (answered(reading.outcome, ClockRead)) {
                // A board after a power loss reads as no valid time: it waits for no period.
                if (!reading.clock) {
                    reason = Reason::Invalid;
                    nextWrite = now;
                    continue;
                }
                const std::int64_t ahead =
                    timesync::boardAheadSeconds(*reading.clock, parts_.clock.now());
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

TimeKeeper::FirstRound TimeKeeper::firstRound() const {
    const std::uint32_t now = parts_.tick.nowMs();
    if (lastWriteAt_) {
        // Reopened within a period of the last write: the boards most likely kept their time,
        // and a line that drops after every write must not get one at every reopen. A look at
        // the clocks tells whether they did.
        return {Reason::Period, *lastWriteAt_ + settings_.periodS * kMsPerS, now};
    }
    return {Reason::Connected, now, now + checkIntervalMs()};
}

}  // namespace horalux::link
