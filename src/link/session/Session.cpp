#include "link/session/Session.h"

#include <chrono>
#include <stdexcept>
#include <utility>

#include "platform/PortOpener.h"

namespace horalux::link {

namespace {

template <class T>
T& given(T* part, T& own) {
    return part != nullptr ? *part : own;
}

}  // namespace

Session::Session(const SessionOptions& options)
    : tick_(given(options.tick, static_cast<platform::Tick&>(ownTick_))),
      clock_(given(options.clock, static_cast<platform::SystemClock&>(ownClock_))),
      mainThread_(given(options.mainThread, static_cast<MainThread&>(calls_))),
      events_(options.events),
      busy_(options.busy),
      stop_(options.stop),
      afterCalls_(options.afterCalls),
      settings_(options.settings) {
    if (options.opener == nullptr) {
        ownOpener_ = platform::makePortOpener({.caFile = settings_.TlsCaFile,
                                               .pin = settings_.TlsPin,
                                               .certFile = settings_.TlsCertFile,
                                               .keyFile = settings_.TlsKeyFile});
    }
    if (options.prompts == nullptr) {
        throw std::logic_error("a session needs its owner's prompts");
    }
    // The exchange log's records are timed by the session's clock.
    mainThread_.setLocalTime(&clock_, &tick_);
    // The connection reports to the session, which passes it on to whichever view is attached.
    connection_ = std::make_unique<Connection>(
        ConnectionParts{options.opener != nullptr ? *options.opener : *ownOpener_, tick_, clock_,
                        *options.prompts, *this, mainThread_, board_, *this,
                        given(options.pump, static_cast<MessagePump&>(*this)), settings_});
}

Session::~Session() = default;

void Session::attach(ExchangeEvents* events, BusyIndicator* busy) {
    events_ = events;
    busy_ = busy;
}

void Session::serve(std::uint32_t maxWaitMs) {
    calls_.waitPending(std::chrono::milliseconds(maxWaitMs));
    calls_.drain();
    if (afterCalls_) {
        afterCalls_();
    }
    if (stopping() && connection_->running()) {
        connection_->stop();
    }
    connection_->settle();
}

bool Session::serveUntil(const std::function<bool()>& done, std::uint32_t limitMs) {
    constexpr std::uint32_t kSliceMs = 10;
    const std::uint32_t t0 = tick_.nowMs();
    while (!done()) {
        if (stopping() || platform::elapsedMs(t0, tick_.nowMs()) >= limitMs) {
            return false;
        }
        serve(kSliceMs);
    }
    return true;
}

void Session::ShowBusyState() {
    if (busy_ != nullptr) {
        busy_->ShowBusyState();
    }
}

bool Session::onRequestFailed(std::unique_ptr<BoardRequest> copy) {
    // Nobody to ask: the thread drops it and the ring goes on.
    return events_ != nullptr && events_->onRequestFailed(std::move(copy));
}

void Session::onBoardMode(std::uint8_t code) {
    if (events_ != nullptr) {
        events_->onBoardMode(code);
    }
}

void Session::onExchangeInfo(const TStrMsg& record) {
    if (events_ != nullptr) {
        events_->onExchangeInfo(record);
    }
}

void Session::onExchangeInfoDropped(std::size_t count) {
    if (events_ != nullptr) {
        events_->onExchangeInfoDropped(count);
    }
}

bool Session::takesExchangeInfo() const {
    return events_ != nullptr && events_->takesExchangeInfo();
}

void Session::onRingState(bool empty) {
    if (events_ != nullptr) {
        events_->onRingState(empty);
    }
}

void Session::onExchangeBatchEnd() {
    if (events_ != nullptr) {
        events_->onExchangeBatchEnd();
    }
}

void Session::refreshBoardView() {
    if (events_ != nullptr) {
        events_->refreshBoardView();
    }
}

void Session::refreshUserFields() {
    if (events_ != nullptr) {
        events_->refreshUserFields();
    }
}

void Session::onLinkDown() {
    if (events_ != nullptr) {
        events_->onLinkDown();
    }
}

}  // namespace horalux::link
