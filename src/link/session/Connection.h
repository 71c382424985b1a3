#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/exchange/BoardState.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/exchange/ExchangeThread.h"
#include "link/exchange/MainThreadCalls.h"
#include "link/exchange/RequestRing.h"
#include "link/session/BoardOperations.h"
#include "link/session/PortLease.h"
#include "link/session/PortLoan.h"
#include "link/wire/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/SystemClock.h"
#include "platform/Tick.h"
#include "settings/ProgramSettings.h"

namespace horalux::link {

// What a connection works with; everything outlives it.
struct ConnectionParts {
    platform::SerialDeviceOpener& opener;
    platform::Tick& tick;
    platform::SystemClock& clock;
    Prompts& prompts;        // the owner's, shown on the main thread
    ExchangeEvents& events;  // the owner's handlers, run on the main thread
    MainThread& mainThread;  // how exchange threads reach the main thread
    BoardState& board;
    BusyIndicator& busy;
    MessagePump& pump;
    settings::ProgramSettings& settings;  // sysnum (the board address) and DelayTime
};

// The outcome of opening a port.
struct OpenResult {
    bool opened = false;
    std::string message;  // what the user was shown ("Error opening port", ...); empty on success
    std::string cause;    // why, when the system said: the device, the reason; may be empty
    bool speedRefused = false;  // the device would not take the speed (or the line settings)
    explicit operator bool() const { return opened; }
};

// The open port and the exchange on it, shared by the windows, the companion and the tests:
// open → start → stop → join → purge → close in one place. Main thread only.
//
// Every call may be made from inside the exchange thread's own handlers (a failed request, the
// line going down). The thread waits for those handlers to return, so it cannot be joined from
// there: stop() then cuts it off the port at once (it can no longer touch it, so the port may be
// closed, reconfigured or reopened right away and a new exchange started) and leaves the join to
// settle(), which the owner runs after each batch of the thread's calls.
class Connection {
  public:
    explicit Connection(const ConnectionParts& parts);
    // Stops the exchange and closes the port. Never destroy it from inside a handler.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the port, closing any open one first. On failure the user is shown the message
    // ("Error opening port", or "Error setting port state" when the device would not take the
    // line settings) and the port stays closed.
    OpenResult open(const std::string& name, std::uint32_t speed);
    // The connection dialog's sequence: the same port at another speed keeps the port open and
    // changes its speed; another port closes the open one and opens the new; then a fresh
    // exchange starts on it. A speed the device refuses changes nothing: the connection there
    // was goes on at its old speed (on the old port, opened again).
    OpenResult connect(const std::string& name, std::uint32_t speed);
    // Applies a new speed to the open port. A running exchange is stopped for it and started
    // afresh. False (with "Error setting port state" shown) when the device refuses it.
    bool setSpeed(std::uint32_t speed);
    // Stops the exchange, then purges and closes the port.
    void close();
    // Lends the port `name` for a job that needs the line to itself, with no exchange on it: the
    // open port when it is that one (the exchange is stopped and not restarted; the port gets
    // its speed back when the loan ends), else the device opened for the loan alone at `speed`,
    // the open port staying as it is. nullptr, with the failure shown, when it cannot be
    // opened. The loan must end before the connection starts an exchange again.
    std::unique_ptr<PortLoan> lend(const std::string& name, std::uint32_t speed);

    // Starts an exchange thread with a fresh ring on the open port (stopping any earlier one);
    // false when no port is open.
    bool start();
    // Ends the exchange: nothing is queued or waited for after it. Safe from any handler.
    void stop();
    // Joins exchange threads that were stopped from inside a handler. The owner calls it after
    // running the exchange thread's calls; from inside a handler it does nothing.
    void settle();

    // Main side's answers to a failed request (while handling it): drop it, or give it new tries.
    void dropFailedRequest(std::unique_ptr<BoardRequest> copy);
    bool reviveFailedRequest();

    bool isOpen() const { return port_ != nullptr; }
    // An exchange thread serves the ring.
    bool running() const { return run_ != nullptr; }
    // The line went down under the running exchange (told once through onLinkDown); the port
    // stays open until the owner closes or reconnects.
    bool linkDown() const { return linkDown_; }
    const std::string& portName() const { return portName_; }
    std::uint32_t speed() const { return port_ ? port_->speed() : 0; }
    // The ring of the running exchange; nullptr when none runs.
    RequestRing* ring() { return run_ ? &run_->thread->ring() : nullptr; }
    BoardOperations& operations() { return ops_; }

  private:
    class Relay;
    // One exchange thread with its view of the port and its way to the owner.
    struct Run {
        Relay* relay = nullptr;
        std::unique_ptr<PortLease> lease;
        std::unique_ptr<TNewThread> thread;
    };

    void retire();
    void onLinkDown(Relay& from);
    void onRingState(Relay& from, bool empty);

    ConnectionParts parts_;
    BoardOperations ops_;
    std::unique_ptr<platform::SerialPort> port_;
    std::string portName_;
    std::unique_ptr<Run> run_;
    std::vector<std::unique_ptr<Run>> retired_;
    // Every relay lives as long as the connection: what a thread posted without waiting may
    // reach the owner after the thread itself is gone.
    std::vector<std::unique_ptr<Relay>> relays_;
    int handlerDepth_ = 0;  // handlers of exchange threads now running on this thread
    bool linkDown_ = false;
};

}  // namespace horalux::link
