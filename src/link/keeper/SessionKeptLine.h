#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "link/exchange/ExchangeEvents.h"
#include "link/keeper/KeptLine.h"
#include "link/session/BoardOperations.h"
#include "link/session/LinkSettings.h"
#include "link/session/Session.h"
#include "link/wire/Prompts.h"

namespace horalux::link {

// Told what the keeper's line itself passes over, for an owner that shares the line (the
// bridge). Main thread.
class LineWatcher {
  public:
    virtual ~LineWatcher() = default;
    // kBoardModeMaster, kBoardModeSlave or the mode register's value, as the exchange tells it.
    virtual void onBoardMode(std::uint8_t code) = 0;
    // A request went unanswered through all its tries.
    virtual void onRequestFailed() = 0;
    // The decoded board state changed (a status frame, a reply).
    virtual void onBoardChanged() = 0;
};

// The keepers' line on a board session. Unlike the one-shot commands' session it outlives
// failures: a board that does not answer is dropped and reported, a lost line is closed and
// opened again, all in the same process.
class SessionKeptLine final : public KeptLine, private ExchangeEvents, private Prompts {
  public:
    // Each part left nullptr is the session's own: the monotonic tick, the PC clock and the
    // program's port opener.
    struct Parts {
        platform::Tick* tick = nullptr;
        platform::SystemClock* clock = nullptr;
        platform::SerialDeviceOpener* opener = nullptr;
    };

    SessionKeptLine(const LinkSettings& link, std::ostream& err, const std::atomic<bool>& stop,
                    const Parts& parts);
    ~SessionKeptLine() override;

    std::optional<std::string> open() override;
    void close() override;
    Outcome writeTime(std::uint8_t address) override;
    Reading readClock(std::uint8_t address) override;
    void serve(std::uint32_t ms) override;
    bool lost() const override { return lost_; }
    // Ctrl+C or SIGTERM came: the owner's waits end, and nothing more is to be started.
    bool stopping() const { return stop_.load(); }

    // For an owner that asks more of the boards on the same line, between the keeper's requests.
    Session& session() { return session_; }
    // nullptr: none.
    void watch(LineWatcher* watcher) { watcher_ = watcher; }

  private:
    Outcome await();

    // ExchangeEvents
    bool onRequestFailed(std::unique_ptr<BoardRequest> copy) override;
    void onBoardMode(std::uint8_t code) override;
    bool takesExchangeInfo() const override { return false; }
    void refreshBoardView() override { boardChanged(); }
    void refreshUserFields() override { boardChanged(); }
    void boardChanged() {
        if (watcher_ != nullptr) {
            watcher_->onBoardChanged();
        }
    }
    void onLinkDown() override;

    // Prompts: no one is there to answer; what the core says goes to the journal.
    void notify(std::string_view text) override { say(text); }
    void error(std::string_view text) override;
    bool askRetry(std::string_view text) override;

    void say(std::string_view text);
    // Tells a read error held back, unless the line went down with it.
    void tellHeldError();

    LinkSettings link_;
    std::ostream& err_;
    const std::atomic<bool>& stop_;
    LineWatcher* watcher_ = nullptr;
    Session session_;
    bool opening_ = false;  // the keeper tells open failures itself, at its own pace
    bool lost_ = true;      // no port is open yet
    bool noAnswer_ = false;
    std::string heldError_;
};

}  // namespace horalux::link
