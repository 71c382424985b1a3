#pragma once

#include <cstdint>
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

// What a session is built from. The events and the prompts are the owner's; every other part
// may be handed in (a test's clock, a recording opener, the Qt event loop) and is otherwise the
// session's own. Whatever is handed in outlives the session.
struct SessionOptions {
    // Required: the owner's handlers, run on the main thread, and how the core speaks to the user.
    ExchangeEvents* events = nullptr;
    Prompts* prompts = nullptr;
    // Each nullptr: the session's own (the monotonic tick, the PC clock, the serial devices).
    platform::Tick* tick = nullptr;
    platform::SystemClock* clock = nullptr;
    platform::SerialDeviceOpener* opener = nullptr;
    // How exchange threads reach the main thread; nullptr: the session's own queue, which
    // serve() runs.
    MainThread* mainThread = nullptr;
    // nullptr: nothing shows the busy state.
    BusyIndicator* busy = nullptr;
    // What an operation waiting for the ring runs; nullptr: serve().
    MessagePump* pump = nullptr;
    // The starting values; the session keeps its own copy.
    settings::ProgramSettings settings{};
};

// One program session with the boards: the settings, the decoded board state, the tick and the
// clock, the way to the main thread and the connection with its operations, wired once for the
// windows, the companion and the tests. Main thread only.
class Session final : private MessagePump, private BusyIndicator {
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

    // The session's own queue of main-thread calls (unused when a main thread was handed in).
    MainThreadCalls& calls() { return calls_; }
    // Runs the main side once on the session's own queue: waits up to `maxWaitMs` for the
    // exchange thread's calls, runs them, then joins the threads stopped meanwhile.
    void serve(std::uint32_t maxWaitMs);

  private:
    void dispatch(std::uint32_t maxWaitMs) override { serve(maxWaitMs); }
    void ShowBusyState() override {}

    platform::MonotonicTick ownTick_;
    platform::MachineClock ownClock_;
    // Made by the platform's factory, so no system's own header reaches the windows' sources.
    std::unique_ptr<platform::SerialDeviceOpener> ownOpener_;
    MainThreadCalls calls_;
    platform::Tick& tick_;
    platform::SystemClock& clock_;
    settings::ProgramSettings settings_;
    BoardState board_;
    std::unique_ptr<Connection> connection_;
};

}  // namespace horalux::link
