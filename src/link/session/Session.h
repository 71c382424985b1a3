#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "link/exchange/BoardState.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/exchange/MainThreadCalls.h"
#include "link/session/BoardOperations.h"
#include "link/session/Connection.h"
#include "link/wire/Prompts.h"
#include "platform/MachineClock.h"
#include "platform/SerialPort.h"
#include "platform/SystemClock.h"
#include "platform/Tick.h"
#include "settings/ProgramSettings.h"

namespace horalux::link {

// What a session is built from. The prompts are the owner's; every other part may be handed in
// (a test's clock, a recording opener, the Qt event loop) and is otherwise the session's own.
// Whatever is handed in outlives the session.
struct SessionOptions {
    // The owner's handlers, run on the main thread; nullptr: none until attach() (a window built
    // after its session), and a request that fails meanwhile is dropped.
    ExchangeEvents* events = nullptr;
    // Required: how the core speaks to the user.
    Prompts* prompts = nullptr;
    // Each nullptr: the session's own (the monotonic tick, the PC clock, the serial devices).
    platform::Tick* tick = nullptr;
    platform::SystemClock* clock = nullptr;
    platform::SerialDeviceOpener* opener = nullptr;
    // How exchange threads reach the main thread; nullptr: the session's own queue, which
    // serve() runs.
    MainThread* mainThread = nullptr;
    // nullptr: nothing shows the busy state (until attach()).
    BusyIndicator* busy = nullptr;
    // What an operation waiting for the ring runs; nullptr: serve().
    MessagePump* pump = nullptr;
    // Ctrl+C or an end signal: once set, serve() stops the exchange, which ends every wait.
    const std::atomic<bool>* stop = nullptr;
    // Run by serve() after each batch of the exchange thread's calls, before the stopped threads
    // are joined: the owner's look at what the batch did (an output that went away, say).
    std::function<void()> afterCalls{};
    // The starting values; the session keeps its own copy.
    settings::ProgramSettings settings{};
};

// One program session with the boards: the settings, the decoded board state, the tick and the
// clock, the way to the main thread and the connection with its operations, wired once for the
// windows, the companion and the tests. Main thread only, but nothing in it is shared: several
// sessions, one per port, run side by side in one process, each with its own exchange thread.
class Session final : private ExchangeEvents, private MessagePump, private BusyIndicator {
  public:
    explicit Session(const SessionOptions& options);
    // Stops the exchange and closes the port. Never destroy it from inside a handler.
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Connection& connection() { return *connection_; }
    const Connection& connection() const { return *connection_; }
    BoardOperations& operations() { return connection_->operations(); }
    BoardState& board() { return board_; }
    settings::ProgramSettings& settings() { return settings_; }
    const settings::ProgramSettings& settings() const { return settings_; }
    platform::Tick& tick() { return tick_; }
    platform::SystemClock& clock() { return clock_; }
    // How exchange threads and other workers of this session reach the main thread.
    MainThread& mainThread() { return mainThread_; }
    // The session's own queue of those calls, which serve() runs: an event loop sets its wake
    // hook and calls serve() when woken.
    MainThreadCalls& queue() { return calls_; }

    // The view that answers the exchange, when it is built after the session (the main window);
    // nullptr detaches it. Not from inside one of its handlers.
    void attach(ExchangeEvents* events, BusyIndicator* busy);

    // The main-side loop on the session's own queue (unused when a main thread was handed in):
    // waits up to `maxWaitMs` for the exchange thread's calls, runs them and the owner's
    // afterCalls, stops the exchange once the stop flag is set, then joins the threads stopped
    // meanwhile. What the companion, keep-time and the tests run while they wait.
    void serve(std::uint32_t maxWaitMs);
    // serve() until `done` holds, the stop flag is set or `limitMs` have passed; whether `done`
    // held.
    bool serveUntil(const std::function<bool()>& done, std::uint32_t limitMs);

  private:
    // MessagePump, BusyIndicator: the session's own, when the owner handed in none.
    void dispatch(std::uint32_t maxWaitMs) override { serve(maxWaitMs); }
    void ShowBusyState() override;
    // ExchangeEvents: passed on to the attached view.
    bool onRequestFailed(std::unique_ptr<BoardRequest> copy) override;
    void onBoardMode(std::uint8_t code) override;
    void onExchangeInfo(const TStrMsg& record) override;
    void onExchangeInfoDropped(std::size_t count) override;
    bool takesExchangeInfo() const override;
    void onRingState(bool empty) override;
    void onExchangeBatchEnd() override;
    void refreshBoardView() override;
    void refreshUserFields() override;
    void onLinkDown() override;
    bool stopping() const { return stop_ != nullptr && stop_->load(); }

    platform::MonotonicTick ownTick_;
    platform::MachineClock ownClock_;
    // Made by the platform's factory, so no system's own header reaches the windows' sources.
    std::unique_ptr<platform::SerialDeviceOpener> ownOpener_;
    MainThreadCalls calls_;
    platform::Tick& tick_;
    platform::SystemClock& clock_;
    MainThread& mainThread_;
    ExchangeEvents* events_;
    BusyIndicator* busy_;
    const std::atomic<bool>* stop_;
    std::function<void()> afterCalls_;
    settings::ProgramSettings settings_;
    BoardState board_;
    std::unique_ptr<Connection> connection_;
};

}  // namespace horalux::link
