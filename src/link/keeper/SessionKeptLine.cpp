#include "link/keeper/SessionKeptLine.h"

#include <algorithm>
#include <ostream>

#include "link/wire/Commands.h"
#include "link/wire/Frame.h"
#include "link/wire/PortAccess.h"
#include "platform/PortNameText.h"

namespace horalux::link {
namespace {

// Slices of a wait, so that a signal ends it at once.
constexpr std::uint32_t kSliceMs = 50;
constexpr std::uint32_t kRequestSlackMs = 2000;

// A clock read or write ends within its tries, each costing its interval or its frame and the
// pause after it when that is longer. An exchange that lets one hang past that has lost its way,
// and the line is opened afresh.
std::uint32_t requestLimitMs(const LinkSettings& link) {
    const double tryMs = std::max<double>(
        op::kMenuIntervalMs, frameWireMs(kBlockFrameOverhead + kClockBlockLength, link.speed) +
                                 postWriteWaitMs(link.delayMs, link.speed));
    return static_cast<std::uint32_t>((op::kMenuTries + 1) * tryMs) + kRequestSlackMs;
}

}  // namespace

SessionKeptLine::SessionKeptLine(const LinkSettings& link, std::ostream& err,
                                 const std::atomic<bool>& stop, const Parts& parts)
    : link_(link),
      err_(err),
      stop_(stop),
      session_({.events = this,
                .prompts = this,
                .tick = parts.tick,
                .clock = parts.clock,
                .opener = parts.opener,
                .stop = &stop,
                .settings = sessionStart(link)}) {}

SessionKeptLine::~SessionKeptLine() = default;

std::optional<std::string> SessionKeptLine::open() {
    opening_ = true;
    const OpenResult opened = session_.connection().connect(link_.port, link_.speed);
    opening_ = false;
    if (!opened) {
        session_.connection().close();
        return opened.cause.empty() ? opened.message : opened.cause;
    }
    lost_ = false;
    noAnswer_ = false;
    return std::nullopt;
}

void SessionKeptLine::close() {
    session_.connection().close();
    lost_ = true;
}

KeptLine::Outcome SessionKeptLine::await() {
    tellHeldError();
    if (!session_.connection().running()) {
        return Outcome::Lost;
    }
    const std::uint32_t limitMs = requestLimitMs(link_);
    const bool drained = session_.operations().WaitForRing(limitMs);
    if (lost_ || stop_ || !session_.connection().running()) {
        return Outcome::Lost;
    }
    if (!drained) {
        say("the exchange on " + platform::shownPortName(link_.port) + " made no progress for " +
            std::to_string(limitMs / 1000) + " s");
        lost_ = true;
        return Outcome::Lost;
    }
    return noAnswer_ ? Outcome::NoAnswer : Outcome::Done;
}

KeptLine::Outcome SessionKeptLine::writeTime(std::uint8_t address) {
    noAnswer_ = false;
    session_.operations().setCurrentAddress(address);
    session_.operations().Sinkhr_date();
    return await();
}

KeptLine::Reading SessionKeptLine::readClock(std::uint8_t address) {
    noAnswer_ = false;
    session_.operations().setCurrentAddress(address);
    session_.board().lock()->BoardClock.reset();
    // Compared is the time the board's clock keeps, not what it shows: the bridge reads the
    // registers, time zone included, on the same session.
    Reading reading;
    if (!session_.operations().readClock()) {
        // Nothing queued: an empty ring would pass for a reply without a valid clock.
        reading.outcome = Outcome::Lost;
        return reading;
    }
    reading.outcome = await();
    if (reading.outcome == Outcome::Done) {
        reading.clock = boardOwnClock(session_.board().snapshot());
    }
    return reading;
}

void SessionKeptLine::serve(std::uint32_t ms) {
    platform::Tick& tick = session_.tick();
    const std::uint32_t t0 = tick.nowMs();
    for (;;) {
        const std::uint32_t spent = platform::elapsedMs(t0, tick.nowMs());
        if (stop_ || (lost_ && session_.connection().isOpen()) || spent >= ms) {
            tellHeldError();
            return;
        }
        const std::uint32_t slice = std::min(kSliceMs, ms - spent);
        if (session_.connection().running()) {
            session_.serve(slice);
        } else {
            tick.sleepMs(slice);
        }
    }
}

bool SessionKeptLine::onRequestFailed(std::unique_ptr<BoardRequest> copy) {
    // Dropped, so the ring goes on; the keeper asks again at its next look.
    noAnswer_ = true;
    session_.connection().dropFailedRequest(std::move(copy));
    if (watcher_ != nullptr) {
        watcher_->onRequestFailed();
    }
    return true;
}

void SessionKeptLine::onBoardMode(std::uint8_t code) {
    if (watcher_ != nullptr) {
        watcher_->onBoardMode(code);
    }
}

void SessionKeptLine::error(std::string_view text) {
    // The exchange says "Error reading port" just before the line goes down: the keeper's
    // line about the loss says it all. Held until it is clear whether the line went down.
    if (text == kErrorReadingPort && session_.connection().running()) {
        heldError_ = text;
        return;
    }
    say(text);
}

void SessionKeptLine::onLinkDown() {
    lost_ = true;
    heldError_.clear();
}

void SessionKeptLine::tellHeldError() {
    if (!heldError_.empty() && !lost_) {
        say(heldError_);
    }
    heldError_.clear();
}

bool SessionKeptLine::askRetry(std::string_view text) {
    say(std::string(text) + " (no)");
    return false;
}

void SessionKeptLine::say(std::string_view text) {
    if (!opening_ && !stop_) {
        err_ << "horalux-cli: " << text << std::endl;
    }
}

}  // namespace horalux::link
