#pragma once

#include <csignal>
#include <cstdint>
#include <ostream>
#include <random>
#include <vector>

#include "board/Board.h"
#include "board/BoardLine.h"
#include "board/BoardOptions.h"
#include "board/Faults.h"
#include "board/Wire.h"
#include "link/wire/RequestParser.h"

namespace horalux::board {

// Serves the boards on a line (the pseudo-terminal): decodes requests, lets the boards answer,
// sends the masters' unasked frames, applies line timing and the faults asked for, until `stop` is
// set (by a signal) or some time after the line was closed on purpose.
class BoardServer {
  public:
    BoardServer(const BoardOptions& options, std::vector<Board> boards, BoardLine& line,
                std::ostream& log);

    // Runs until stopped. Signals that set `stop` must be blocked outside the wait, and
    // `waitMask` is the mask during the wait (with them unblocked).
    void run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask);

  private:
    static std::int64_t nowNs();
    static std::uint32_t tickMs(std::int64_t ns);

    void onRequest(const link::Request& request, std::int64_t arrivedNs);
    // Verbose: how far the time a clock write carries is off the PC clock at its last byte
    // (board minus PC), for measuring how well a write is timed.
    void noteClockOffset(const link::Request& request, std::int64_t arrivedNs);
    void sendFrame(std::vector<std::uint8_t> frame, std::int64_t notBeforeNs, const char* what);
    void sendUnasked(std::int64_t now);
    void sendNoise(std::int64_t now);
    void readLine(std::int64_t now);
    // Whether the program's bytes are sent at the boards' speed (always, unless strict).
    bool understands() const;
    void flushDue(std::int64_t now);
    // Logs the line's speed when it differs from the last one logged (verbose only).
    void noteLineSpeed();

    const BoardOptions& options_;
    std::vector<Board> boards_;
    std::vector<bool> muted_;
    std::vector<std::uint32_t> repliesBeforeMute_;  // per board, what --mute-after leaves
    BoardLine& line_;
    std::ostream& log_;
    link::RequestParser parser_;
    Faults faults_;
    Wire wire_;
    std::mt19937 random_;

    std::int64_t lastByteNs_ = 0;
    // Line timing: since when the program's unread bytes have been on their way; -1 for none.
    std::int64_t receivingSinceNs_ = -1;
    std::int64_t nextStatusNs_ = 0;
    std::int64_t nextNoiseNs_ = 0;
    std::int64_t nextExclusiveCheckNs_ = 0;
    std::uint32_t statusTicks_ = 0;
    bool hangupPending_ = false;
    std::int64_t hangupAtNs_ = -1;
    std::int64_t lastWriteNs_ = 0;  // the line is closed by then at the latest
    std::int64_t exitAtNs_ = -1;    // set once the line was closed on purpose
    std::uint32_t loggedSpeed_ = 0;
};

}  // namespace horalux::board
