#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "CliLogFile.h"
#include "CliOptions.h"
#include "link/exchange/BoardState.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/session/BoardOperations.h"
#include "link/session/LinkSettings.h"
#include "link/session/Session.h"
#include "link/wire/Prompts.h"

namespace horalux::cli {

// For sessions no signal can interrupt (benchmarks, tests).
inline const std::atomic<bool> kNeverInterrupted{false};

// The command-line companion's main side: it connects, and answers the exchange thread from the
// session's loop, the way the main window does with its events.
class CliSession final : public link::ExchangeEvents, public link::Prompts {
  public:
    // `interrupted` is set by Ctrl+C or SIGTERM: every wait then ends at once, the exchange stops
    // and nothing more is reported (the line going down with a stand-in board that got the same
    // signal is no fault of the line).
    CliSession(const CliOptions& options, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& interrupted = kNeverInterrupted);
    ~CliSession() override;

    // Opens the port and starts the exchange; false (with the reason told) when it cannot. With
    // an exchange already running it does nothing, so one port serves board after board; after a
    // failure (not after Ctrl+C) it starts a fresh exchange, on the port reopened when the line
    // went down.
    bool connect();
    // Makes every request go to `address` from now on, with nothing known of that board yet.
    void selectBoard(std::uint8_t address);
    // Waits for the queued requests, however many, as long as they keep completing; false when
    // one failed, the line went down, or no request completed within the time the slowest
    // retry policy allows one request (the failure then names the request).
    bool waitForRing();
    // Runs the main side for `ms` milliseconds, or until interrupted or failed.
    void runFor(std::uint32_t ms);
    bool stopped() const { return failed_ || interrupted_; }

    // The port to itself, with no exchange on it, for a scan; nullptr (with the reason told)
    // when it cannot be opened.
    std::unique_ptr<link::PortLoan> lendLine() {
        return session_.connection().lend(options_.port, options_.speed);
    }
    platform::Tick& tick() { return session_.tick(); }
    platform::SystemClock& clock() { return session_.clock(); }

    link::BoardOperations& ops() { return session_.operations(); }
    link::Connection& connection() { return session_.connection(); }
    link::BoardState& board() { return session_.board(); }
    bool failed() const { return failed_; }

    // What monitor prints as the board's fields change, and whether to print the line too.
    void setMonitor(std::function<void()> onChange, bool raw) {
        onChange_ = std::move(onChange);
        raw_ = raw;
    }
    // The form of the line's records, on the terminal and in the log file.
    void setLineForm(link::LogForm form) { lineForm_ = form; }
    // Every record (also the empty polls) goes to `log` as it comes; a failed write fails the
    // session naming `name`.
    void setLogFile(CliLogFile* log, std::string name) {
        logFile_ = log;
        logName_ = std::move(name);
    }

    // ExchangeEvents
    bool onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override;
    void onBoardMode(std::uint8_t code) override;
    void onExchangeInfo(const link::TStrMsg& record) override;
    void onExchangeInfoDropped(std::size_t count) override;
    void onRingState(bool empty) override;
    void refreshBoardView() override;
    void refreshUserFields() override;
    void onLinkDown() override;

    // Prompts: no one sits at the terminal to answer, so a question is answered "no".
    void notify(std::string_view text) override;
    void error(std::string_view text) override;
    bool askRetry(std::string_view text) override;

  private:
    // What the session's loop does after each batch of the exchange thread's calls.
    void afterCalls();
    void fail(const std::string& why);
    std::uint32_t stallLimitMs() const;
    void say(std::string_view text);

    const CliOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    const std::atomic<bool>& interrupted_;
    link::Session session_;  // no busy state to grey out on a terminal
    std::function<void()> onChange_;
    bool raw_ = false;
    link::LogForm lineForm_;
    CliLogFile* logFile_ = nullptr;
    std::string logName_;
    std::uint8_t lastMode_ = 0;
    bool failed_ = false;
};

// The link the global options stand for: port, speed, address, pause and TLS.
link::LinkSettings linkSettingsOf(const CliOptions& options);

}  // namespace horalux::cli
