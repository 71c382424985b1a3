#include "link/boardset/BoardDriver.h"

#include <utility>

namespace horalux::link::boardset {

BoardDriver::BoardDriver(BoardOperations& ops, Connection& connection, Stopped stopped)
    : ops_(ops), connection_(connection), stopped_(std::move(stopped)) {}

BoardOutcome BoardDriver::runSelected(std::uint8_t address, const Step& step) {
    ops_.setCurrentAddress(address);
    BoardOutcome outcome = step(address);
    outcome.address = address;
    // A board that did not answer stops the exchange; the next board gets a fresh one on the same
    // open port. A line that went down is the owner's to reopen.
    if (!stopped_() && !connection_.running() && connection_.isOpen() && !connection_.linkDown()) {
        connection_.start();
    }
    return outcome;
}

BoardOutcome BoardDriver::runOne(std::uint8_t address, const Step& step) {
    const std::uint8_t own = ops_.currentAddress();
    BoardOutcome outcome = runSelected(address, step);
    ops_.setCurrentAddress(own);
    return outcome;
}

std::vector<BoardOutcome> BoardDriver::run(std::span<const std::uint8_t> addresses,
                                           const Step& step,
                                           const std::function<void(const BoardOutcome&)>& ended) {
    std::vector<BoardOutcome> outcomes;
    for (const std::uint8_t address : addresses) {
        outcomes.push_back({address, BoardOutcome::NotDone, {}});
    }
    const std::uint8_t own = ops_.currentAddress();
    for (BoardOutcome& outcome : outcomes) {
        if (stopped_()) {
            break;
        }
        outcome = runSelected(outcome.address, step);
        if (ended) {
            ended(outcome);
        }
    }
    ops_.setCurrentAddress(own);
    return outcomes;
}

}  // namespace horalux::link::boardset
