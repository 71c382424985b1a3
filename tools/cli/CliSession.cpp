#include "CliSession.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "link/exchange/FrameMeaning.h"
#include "link/exchange/Messages.h"
#include "link/wire/Commands.h"
#include "link/wire/PortAccess.h"

namespace horalux::cli {

namespace {

constexpr std::uint32_t kStallSlackMs = 2000;

const char* writeErrorText() {
    return errno != 0 ? std::strerror(errno) : "write error";
}

}  // namespace

link::LinkSettings linkSettingsOf(const CliOptions& options) {
    return {.port = options.port,
            .speed = options.speed,
            .address = options.address,
            .delayMs = options.delayMs,
            .tls = options.tls,
            .log = options.lineForm};
}

CliSession::CliSession(const CliOptions& options, std::ostream& out, std::ostream& err,
                       const std::atomic<bool>& interrupted)
    : options_(options),
      out_(out),
      err_(err),
      interrupted_(interrupted),
      session_({.events = this,
                .prompts = this,
                .stop = &interrupted,
                .afterCalls = [this] { afterCalls(); },
                .settings = link::sessionStart(linkSettingsOf(options))}) {}

CliSession::~CliSession() = default;

bool CliSession::connect() {
    link::Connection& connection = session_.connection();
    if (connection.running() && !connection.linkDown() && !failed_) {
        return true;
    }
    if (interrupted_) {
        return false;
    }
    if (failed_) {
        // The board before failed: what it left in the ring is dropped with the old exchange.
        connection.stop();
        connection.settle();
        if (connection.linkDown()) {
            connection.close();
        }
        failed_ = false;
    }
    return static_cast<bool>(session_.connection().connect(options_.port, options_.speed));
}

void CliSession::selectBoard(std::uint8_t address) {
    ops().setCurrentAddress(address);
    *session_.board().lock() = link::BoardData{};
    session_.board().StatusFrameSeen = false;
    lastMode_ = 0;
}

void CliSession::afterCalls() {
    if (!out_ && !failed_ && !interrupted_) {
        // Nobody reads the output any more (a pipe closed): monitor would go on unseen.
        fail(std::string("cannot write standard output: ") + writeErrorText());
    }
    if (interrupted_) {
        // The session stops the exchange, which ends the wait it serves; the command then
        // returns.
        failed_ = true;
    }
}

std::uint32_t CliSession::stallLimitMs() const {
    // Every try of a request costs its interval, or its frame and the pause after it when that
    // is longer; the exchange reports the request itself once its tries are used up, so this
    // limit only ends a wait that something else holds up.
    const double frameMs =
        link::frameWireMs(link::kBlockFrameOverhead + link::kMaxUserFieldBytes, options_.speed) +
        link::postWriteWaitMs(options_.delayMs, options_.speed);
    const struct {
        std::int32_t tries;
        std::uint32_t intervalMs;
    } policies[] = {{link::op::kReadTries, link::op::kReadIntervalMs},
                    {link::op::kWriteTries, link::op::kWriteIntervalMs},
                    {link::op::kMenuTries, link::op::kMenuIntervalMs}};
    double longest = 0;
    for (const auto& p : policies) {
        longest = std::max(longest, (p.tries + 1) * std::max<double>(p.intervalMs, frameMs));
    }
    return static_cast<std::uint32_t>(longest) + kStallSlackMs;
}

bool CliSession::waitForRing() {
    if (failed_) {
        return false;
    }
    // Waited for in slices, so that every completed request starts the limit afresh.
    constexpr std::uint32_t kSliceMs = 500;
    const std::uint32_t limit = stallLimitMs();
    std::uint32_t lastProgress = session_.tick().nowMs();
    std::size_t fewest = SIZE_MAX;
    for (;;) {
        if (ops().WaitForRing(kSliceMs)) {
            return !failed_;
        }
        link::RequestRing* ring = session_.connection().ring();
        if (failed_ || ring == nullptr) {
            return false;
        }
        const std::size_t pending = ring->pendingCount();
        if (pending < fewest) {
            fewest = pending;
            lastProgress = session_.tick().nowMs();
        } else if (platform::elapsedMs(lastProgress, session_.tick().nowMs()) > limit) {
            std::string what = "a request";
            if (const link::BoardRequest* current = ring->current()) {
                // Only the fields fixed when it was queued: the exchange thread may be updating
                // its tries meanwhile.
                what = link::describeRequest(current->address, current->command, current->param1,
                                             current->param2);
            }
            fail("the board did not finish in time: " + what + " was still unanswered after " +
                 std::to_string(limit / 1000) + " s");
            return false;
        }
    }
}

void CliSession::runFor(std::uint32_t ms) {
    const std::uint32_t t0 = session_.tick().nowMs();
    while (!stopped() && platform::elapsedMs(t0, session_.tick().nowMs()) < ms) {
        session_.serve(50);
    }
}

void CliSession::say(std::string_view text) {
    if (!interrupted_) {
        err_ << "horalux-cli: " << text << "\n";
    }
}

void CliSession::fail(const std::string& why) {
    if (!failed_) {
        say(why);
    }
    failed_ = true;
    // Also ends any wait at once: the command reports the failure.
    session_.connection().stop();
}

bool CliSession::onRequestFailed(std::unique_ptr<link::BoardRequest> copy) {
    fail("no answer to " +
         link::describeRequest(copy->address, copy->command, copy->param1, copy->param2));
    return true;  // the command fails; its exchange is stopped
}

void CliSession::onBoardMode(std::uint8_t code) {
    // Every status frame repeats "master"; tell only the changes.
    if (onChange_ && (code == link::kBoardModeMaster || code == link::kBoardModeSlave) &&
        code != lastMode_) {
        out_ << (code == link::kBoardModeMaster ? "mode: master" : "mode: slave") << "\n";
        lastMode_ = code;
    }
}

void CliSession::onExchangeInfo(const link::TStrMsg& record) {
    if (!raw_ && logFile_ == nullptr) {
        return;
    }
    const std::string line = link::formatLogLine(record, lineForm_);
    if (raw_ && record.Count > 0) {
        out_ << "line: " << line << "\n";
    }
    if (logFile_ != nullptr && !failed_) {
        if (!logFile_->writeLine(line)) {
            fail("cannot write the log file " + logName_ + ": " + logFile_->problem());
        }
    }
}

void CliSession::onExchangeInfoDropped(std::size_t count) {
    if (raw_ || logFile_ != nullptr) {
        say("the output did not keep up with the line: " + std::to_string(count) +
            " records of the line were dropped" +
            (logFile_ != nullptr ? ", also from the log file" : ""));
    }
}

void CliSession::onRingState(bool) {
    // The connection keeps RingIdle; a terminal has no busy state to switch off.
}

void CliSession::refreshBoardView() {
    if (onChange_) {
        onChange_();
    }
}

void CliSession::refreshUserFields() {
    if (onChange_) {
        onChange_();
    }
}

void CliSession::onLinkDown() {
    fail("the line to the board is down");
}

void CliSession::notify(std::string_view text) {
    say(text);
}

void CliSession::error(std::string_view text) {
    say(text);
}

bool CliSession::askRetry(std::string_view text) {
    say(std::string(text) + " (no)");
    return false;
}

}  // namespace horalux::cli
