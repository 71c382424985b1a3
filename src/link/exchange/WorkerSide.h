#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "link/exchange/BoardRequest.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/exchange/MainThreadCalls.h"
#include "link/wire/PortAccess.h"
#include "link/wire/Prompts.h"
#include "platform/Tick.h"

namespace horalux::link {

// Longest a posted record waits before the main side is woken for it, while the loop is busy
// in one turn (a long reply hunt).
inline constexpr std::uint32_t kBatchMs = 40;

// The exchange thread's way to the main side: each event and each prompt runs on the main
// thread through MainThread while the worker waits; only the exchange-log records and the ring
// states are posted without waiting, and the main side is woken once per batch of them. Once the
// worker is told to stop, calls not yet started are withdrawn, so shutdown never waits on a main
// side that is itself shutting down. An error a main-side routine raises is dropped: the
// exchange goes on.
class WorkerSide final : public Prompts {
  public:
    // Without a tick every post ends its batch.
    WorkerSide(MainThread& mainThread, ExchangeEvents& events, Prompts& prompts,
               std::stop_token stop, platform::Tick* tick = nullptr)
        : mainThread_(mainThread),
          events_(events),
          prompts_(prompts),
          stop_(std::move(stop)),
          tick_(tick) {}

    // Whether the thread drops the request itself: the handler raised an error or decided
    // nothing. Not when the worker is stopping.
    bool requestFailed(std::unique_ptr<BoardRequest> copy);
    void boardMode(std::uint8_t code);
    // One exchange-log record, timed now. A read is held back until the next record or the end
    // of the batch, so that the decoder can say what the frame it completes meant.
    void exchangeInfo(LogDirection direction, std::span<const std::uint8_t> bytes);
    // What the frame completed by the record read last means; nothing once that record is gone.
    void describeLastRead(std::string meaning);
    // Hands over the read record held back, if any.
    void postHeld();
    void ringState(bool empty);
    // Hands over the held record and wakes the main side for what was posted since the last
    // batch ended.
    void endBatch();
    void refreshBoardView();
    void refreshUserFields();
    void linkDown();

    // Prompts, shown on the main thread. askRetry answers false when withdrawn.
    void notify(std::string_view text) override;
    void error(std::string_view text) override;
    bool askRetry(std::string_view text) override;

    const std::stop_token& stopToken() const { return stop_; }

  private:
    template <class F>
    CallOutcome onMain(F&& routine) {
        return mainThread_.run(routine, stop_);
    }
    void posted();
    void wakeForBatch();

    MainThread& mainThread_;
    ExchangeEvents& events_;
    Prompts& prompts_;
    std::stop_token stop_;
    platform::Tick* tick_;
    bool batchOpen_ = false;
    std::uint32_t batchStartMs_ = 0;
    // The read record held back for its meaning.
    bool holding_ = false;
    RecordHead heldHead_;
    std::vector<std::uint8_t> heldBytes_;
    std::string heldMeaning_;
};

}  // namespace horalux::link
