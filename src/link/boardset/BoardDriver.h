#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link/session/BoardOperations.h"
#include "link/session/Connection.h"

namespace horalux::link::boardset {

// How one board of a line ended.
struct BoardOutcome {
    enum State {
        Done,     // the step did what it was for
        Differs,  // the board answered, and what it holds is not what was compared with
        Failed,   // the board did not answer, or did not take what was sent
        NotDone,  // not reached: the work was stopped first
    };
    std::uint8_t address = 0;
    State state = NotDone;
    std::string text;  // the step's result, or why it failed
};

// Drives a line board after board on one session: makes each board the current one, runs its
// step, starts the exchange again after a board that did not answer, records how each ended and
// puts the owner's board back. The window of the line's boards, the companion's runs over a list
// and the bridge all work a line through it, each with steps of its own.
class BoardDriver {
  public:
    using Step = std::function<BoardOutcome(std::uint8_t address)>;
    using Stopped = std::function<bool()>;

    // `stopped` tells that the work is to end (Ctrl+C, a stop button): no board is started then,
    // and the exchange is not started again.
    BoardDriver(BoardOperations& ops, Connection& connection, Stopped stopped);

    // One board; the owner's current board is put back afterwards.
    BoardOutcome runOne(std::uint8_t address, const Step& step);
    // Every address in order, until `stopped` holds; those not reached stay NotDone. `ended`
    // hears each board's outcome as soon as it is known.
    std::vector<BoardOutcome> run(std::span<const std::uint8_t> addresses, const Step& step,
                                  const std::function<void(const BoardOutcome&)>& ended = {});

  private:
    BoardOutcome runSelected(std::uint8_t address, const Step& step);

    BoardOperations& ops_;
    Connection& connection_;
    Stopped stopped_;
};

}  // namespace horalux::link::boardset
