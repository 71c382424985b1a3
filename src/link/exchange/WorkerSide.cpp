#include "link/exchange/WorkerSide.h"

#include <utility>

#include "link/exchange/FrameMeaning.h"
#include "link/wire/PortAccess.h"

namespace horalux::link {

bool WorkerSide::requestFailed(std::unique_ptr<BoardRequest> copy) {
    bool decided = true;
    const CallOutcome outcome = onMain([&] { decided = events_.onRequestFailed(std::move(copy)); });
    return outcome == CallOutcome::Threw || (outcome == CallOutcome::Done && !decided);
}

void WorkerSide::boardMode(std::uint8_t code) {
    onMain([&] { events_.onBoardMode(code); });
}

// Every poll inside the reply hunt comes through here: records are posted, not handed over in a
// round trip to the main side each, which would cost more than the byte.
void WorkerSide::exchangeInfo(LogDirection direction, std::span<const std::uint8_t> bytes) {
    if (stop_.stop_requested()) {
        return;
    }
    const RecordHead head{.direction = direction, .tick = tick_ != nullptr ? tick_->nowMs() : 0};
    postHeld();
    if (direction == LogDirection::Read) {
        heldHead_ = head;
        heldBytes_.assign(bytes.begin(), bytes.end());
        heldMeaning_.clear();
        holding_ = true;
        return;
    }
    const std::string meaning = describeRequestFrame(bytes);
    mainThread_.postExchangeInfo(events_, {.head = head, .bytes = bytes, .meaning = meaning},
                                 stop_);
    posted();
}

void WorkerSide::describeLastRead(std::string meaning) {
    if (holding_) {
        heldMeaning_ = std::move(meaning);
    }
}

void WorkerSide::postHeld() {
    if (!holding_) {
        return;
    }
    holding_ = false;
    if (stop_.stop_requested()) {
        return;
    }
    mainThread_.postExchangeInfo(
        events_, {.head = heldHead_, .bytes = heldBytes_, .meaning = heldMeaning_}, stop_);
    posted();
}

void WorkerSide::ringState(bool empty) {
    if (stop_.stop_requested()) {
        return;
    }
    mainThread_.postRingState(events_, empty, stop_);
    posted();
}

void WorkerSide::posted() {
    if (tick_ == nullptr) {
        wakeForBatch();
        return;
    }
    const std::uint32_t now = tick_->nowMs();
    if (!batchOpen_) {
        batchOpen_ = true;
        batchStartMs_ = now;
    } else if (platform::elapsedMs(batchStartMs_, now) >= kBatchMs) {
        wakeForBatch();
    }
}

void WorkerSide::endBatch() {
    postHeld();
    wakeForBatch();
}

void WorkerSide::wakeForBatch() {
    batchOpen_ = false;
    mainThread_.endBatch();
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
