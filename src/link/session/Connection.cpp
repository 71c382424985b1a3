#include "link/session/Connection.h"

#include <utility>

#include "link/wire/PortAccess.h"

namespace horalux::link {

// Passes one exchange thread's calls on to the owner, counting the handlers under way (a thread
// waiting on one cannot be joined) and holding back what a stopped thread still has to say
// about a ring and a line that are no longer in use.
class Connection::Relay final : public ExchangeEvents, public Prompts {
  public:
    explicit Relay(Connection& connection) : connection_(connection) {}

    // The thread was stopped: what it still says about its ring and its line is out of date.
    void retire() { retired_ = true; }
    bool retired() const { return retired_; }

    bool onRequestFailed(std::unique_ptr<BoardRequest> copy) override {
        bool decided = true;  // a retired thread's request is let go with its ring
        if (!retired_) {
            handle([&] { decided = owner().onRequestFailed(std::move(copy)); });
        }
        return decided;
    }
    void onBoardMode(std::uint8_t code) override {
        handle([&] { owner().onBoardMode(code); });
    }
    void onExchangeInfo(const TStrMsg& record) override {
        handle([&] { owner().onExchangeInfo(record); });
    }
    void onExchangeInfoDropped(std::size_t count) override {
        handle([&] { owner().onExchangeInfoDropped(count); });
    }
    bool takesExchangeInfo() const override {
        return connection_.parts_.events.takesExchangeInfo();
    }
    void onRingState(bool empty) override {
        handle([&] { connection_.onRingState(*this, empty); });
    }
    void onExchangeBatchEnd() override {
        handle([&] { owner().onExchangeBatchEnd(); });
    }
    void refreshBoardView() override {
        handle([&] { owner().refreshBoardView(); });
    }
    void refreshUserFields() override {
        handle([&] { owner().refreshUserFields(); });
    }
    void onLinkDown() override {
        handle([&] { connection_.onLinkDown(*this); });
    }

    void notify(std::string_view text) override {
        handle([&] { connection_.parts_.prompts.notify(text); });
    }
    void error(std::string_view text) override {
        handle([&] { connection_.parts_.prompts.error(text); });
    }
    bool askRetry(std::string_view text) override {
        bool retry = false;
        handle([&] { retry = connection_.parts_.prompts.askRetry(text); });
        return retry;
    }

  private:
    ExchangeEvents& owner() { return connection_.parts_.events; }

    template <class F>
    void handle(F&& routine) {
        ++connection_.handlerDepth_;
        try {
            routine();
        } catch (...) {
            --connection_.handlerDepth_;
            throw;
        }
        --connection_.handlerDepth_;
    }

    Connection& connection_;
    bool retired_ = false;
};

Connection::Connection(const ConnectionParts& parts)
    : parts_(parts),
      ops_(parts.tick, parts.clock, parts.prompts, parts.board, parts.busy, parts.pump,
           parts.settings) {}

Connection::~Connection() {
    close();
    settle();
}

OpenResult Connection::open(const std::string& name, std::uint32_t speed) {
    close();
    try {
        port_ = OpenPort(parts_.opener, name, speed, parts_.prompts);
    } catch (const platform::PortError& e) {
        parts_.prompts.error(e.what());
        return {false, e.what(), {}, true};
    }
    if (!port_) {
        return {false, std::string(kErrorOpeningPort), parts_.opener.lastFailureCause()};
    }
    portName_ = name;
    return {true, {}, {}};
}

OpenResult Connection::connect(const std::string& name, std::uint32_t speed) {
    stop();
    if (port_ && name == portName_) {
        if (!setSpeed(speed)) {
            start();  // the port kept its old speed
            return {false, std::string(kErrorSettingPortState), {}, true};
        }
        start();
        return {true, {}, {}};
    }
    const std::string previousName = portName_;
    const std::uint32_t previousSpeed = this->speed();
    OpenResult opened = open(name, speed);  // closes the open port first
    if (opened) {
        start();
    } else if (opened.speedRefused && !previousName.empty() && open(previousName, previousSpeed)) {
        start();
    }
    return opened;
}

bool Connection::setSpeed(std::uint32_t speed) {
    if (!port_) {
        return false;
    }
    if (speed == port_->speed()) {
        return true;
    }
    const bool wasRunning = running();
    stop();  // the port is reconfigured only while no thread reads it
    try {
        SetPortSpeed(*port_, speed);
    } catch (const platform::PortError& e) {
        parts_.prompts.error(e.what());
        return false;
    }
    if (wasRunning) {
        start();
    }
    return true;
}

void Connection::close() {
    stop();
    if (port_) {
        PurgePort(*port_);
        port_->close();
        port_.reset();
    }
    portName_.clear();
    linkDown_ = false;
}

std::unique_ptr<PortLoan> Connection::lend(const std::string& name, std::uint32_t speed) {
    stop();
    if (port_ && name == portName_) {
        return std::make_unique<PortLoan>(*port_, nullptr);
    }
    std::unique_ptr<platform::SerialPort> own;
    try {
        own = OpenPort(parts_.opener, name, speed, parts_.prompts);
    } catch (const platform::PortError& e) {
        parts_.prompts.error(e.what());
        return nullptr;
    }
    if (!own) {
        return nullptr;
    }
    platform::SerialPort& port = *own;
    return std::make_unique<PortLoan>(port, std::move(own));
}

bool Connection::start() {
    if (!port_) {
        return false;
    }
    stop();
    linkDown_ = false;
    auto run = std::make_unique<Run>();
    relays_.push_back(std::make_unique<Relay>(*this));
    run->relay = relays_.back().get();
    run->lease = std::make_unique<PortLease>(*port_);
    run->thread = std::make_unique<TNewThread>(
        ExchangeContext{*run->lease, parts_.tick, *run->relay, *run->relay, parts_.mainThread,
                        parts_.board, static_cast<std::uint32_t>(parts_.settings.DelayTime)});
    ops_.attachRing(&run->thread->ring());
    ops_.setRingIdle(true);
    run_ = std::move(run);
    run_->thread->Start();
    return true;
}

void Connection::stop() {
    retire();
    settle();
}

void Connection::retire() {
    if (!run_) {
        return;
    }
    // Nothing more goes into the ring, and a wait on it ends.
    ops_.attachRing(nullptr);
    run_->relay->retire();
    run_->thread->StopWorker();
    run_->lease->revoke();
    retired_.push_back(std::move(run_));
}

void Connection::settle() {
    if (handlerDepth_ > 0) {
        return;  // a thread may be waiting on the handler under way
    }
    // Each was told to stop and no longer reaches the port; it leaves within one poll or wait.
    for (const std::unique_ptr<Run>& run : retired_) {
        run->thread->join();
        ops_.ringRetired(run->thread->ring().pendingCount());
    }
    retired_.clear();
}

void Connection::dropFailedRequest(std::unique_ptr<BoardRequest> copy) {
    if (run_) {
        link::dropFailedRequest(*run_->thread, std::move(copy));
    }
}

bool Connection::reviveFailedRequest() {
    return run_ && link::reviveFailedRequest(run_->thread->ring(), parts_.tick.nowMs());
}

void Connection::onRingState(Relay& from, bool empty) {
    if (from.retired()) {
        return;  // a ring no one fills any more
    }
    ops_.setRingIdle(empty);
    parts_.events.onRingState(empty);
}

void Connection::onLinkDown(Relay& from) {
    if (from.retired()) {
        return;  // stopped on purpose: nothing to report
    }
    // The thread has left its loop; the port stays open until the owner closes or reconnects.
    retire();
    linkDown_ = true;
    parts_.events.onLinkDown();
}

}  // namespace horalux::link
