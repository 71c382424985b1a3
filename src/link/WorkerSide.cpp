#include "link/WorkerSide.h"

#include <utility>

#include "link/PortAccess.h"

namespace horalux::link {

void WorkerSide::requestFailed(std::unique_ptr<BoardRequest> copy) {
    onMain([&] { events_.onRequestFailed(std::move(copy)); });
}

void WorkerSide::boardMode(std::uint8_t code) {
    onMain([&] { events_.onBoardMode(code); });
}

void WorkerSide::exchangeInfo(std::span<const std::uint8_t> bytes) {
    if (stop_.stop_requested()) {
        return;
    }
    // Every poll inside the reply hunt comes through here, so the record is rewritten in place
    // rather than built anew: the decoding allocates nothing once the text has grown to the
    // longest frame.
    fillExchangeRecord(bytes, record_);
    onMain([&] { events_.onExchangeInfo(record_); });
}

void WorkerSide::ringState(bool empty) {
    onMain([&] { events_.onRingState(empty); });
}

void WorkerSide::refreshBoardView() {
    onMain([&] { events_.refreshBoardView(); });
}

void WorkerSide::refreshUserFields() {
    onMain([&] { events_.refreshUserFields(); });
}

void WorkerSide::linkDown() {
    onMain([&] { events_.onLinkDown(); });
}

void WorkerSide::notify(std::string_view text) {
    onMain([&] { prompts_.notify(text); });
}

void WorkerSide::error(std::string_view text) {
    onMain([&] { prompts_.error(text); });
}

bool WorkerSide::askRetry(std::string_view text) {
    bool retry = false;
    onMain([&] { retry = prompts_.askRetry(text); });
    return retry;
}

}  // namespace horalux::link
