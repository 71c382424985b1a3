#include "link/session/Session.h"

#include <chrono>
#include <stdexcept>

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
      settings_(options.settings) {
    if (options.opener == nullptr) {
        ownOpener_ = platform::makePortOpener();
    }
    if (options.events == nullptr || options.prompts == nullptr) {
        throw std::logic_error("a session needs its owner's events and prompts");
    }
    MainThread& mainThread = given(options.mainThread, static_cast<MainThread&>(calls_));
    // The exchange log's records are timed by the session's clock.
    mainThread.setLocalTime(&clock_, &tick_);
    connection_ = std::make_unique<Connection>(
        ConnectionParts{options.opener != nullptr ? *options.opener : *ownOpener_, tick_, clock_,
                        *options.prompts, *options.events, mainThread, board_,
                        given(options.busy, static_cast<BusyIndicator&>(*this)),
                        given(options.pump, static_cast<MessagePump&>(*this)), settings_});
}

Session::~Session() = default;

void Session::serve(std::uint32_t maxWaitMs) {
    calls_.waitPending(std::chrono::milliseconds(maxWaitMs));
    calls_.drain();
    connection_->settle();
}

}  // namespace horalux::link
