#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stop_token>
#include <string_view>

#include "link/BoardRequest.h"
#include "link/ExchangeEvents.h"
#include "link/MainThreadCalls.h"
#include "link/PortAccess.h"
#include "link/Prompts.h"

namespace horalux::link {

// The exchange thread's way to the main side: each event and each prompt runs on the main
// thread through MainThread while the worker waits. Once the worker is told to stop, calls not
// yet started are withdrawn, so shutdown never waits on a main side that is itself shutting down.
// An error a main-side routine raises is dropped: the exchange goes on.
class WorkerSide final : public Prompts {
  public:
    WorkerSide(MainThread& mainThread, ExchangeEvents& events, Prompts& prompts,
               std::stop_token stop)
        : mainThread_(mainThread), events_(events), prompts_(prompts), stop_(std::move(stop)) {}

    void requestFailed(std::unique_ptr<BoardRequest> copy);
    void boardMode(std::uint8_t code);
    void exchangeInfo(std::span<const std::uint8_t> bytes);
    void ringState(bool empty);
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
    void onMain(F&& routine) {
        mainThread_.run(routine, stop_);
    }

    MainThread& mainThread_;
    ExchangeEvents& events_;
    Prompts& prompts_;
    std::stop_token stop_;
    TStrMsg record_;  // the exchange-log record, reused
};

}  // namespace horalux::link
