#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "CliOptions.h"
#include "link/boardset/BoardDriver.h"
#include "link/boardset/BoardSteps.h"

namespace horalux::cli {

// Where the runs of several ports print: each call writes whole lines at once, so no line is
// ever mixed with another port's.
class LineSink {
  public:
    LineSink(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    // Every line of `outText` and `errText` with `prefix` before it.
    void write(std::string_view prefix, std::string_view outText, std::string_view errText);

  private:
    std::mutex mutex_;
    std::ostream& out_;
    std::ostream& err_;
};

// How one board of a list ended; its text is the last thing said of it when it failed or
// differs.
using link::boardset::BoardOutcome;

struct PortOutcome {
    std::vector<BoardOutcome> boards;
    bool badUsage = false;    // a file the command cannot use: nothing more was tried
    std::string portFailure;  // why no board of the port was tried (it could not be opened)
};

using link::boardset::boardFileName;

// Runs the command of `options` for each board of its address list in turn, on the one port
// of `options` opened once; each board's lines go to `sink` together, prefixed with
// `portPrefix` and the board ("$4D/77: "), when the board is done. A board that fails is
// reported and the next one goes on; Ctrl+C ends the run after the current board's request.
PortOutcome runBoards(const CliOptions& options, std::string_view portPrefix, LineSink& sink,
                      const std::atomic<bool>& interrupted);

// "3 boards: 1 done, 1 differ ($05/5: ...), 1 failed ($C8/200: no answer to ...)", the
// reasons only `withReasons`.
std::string summaryText(const std::vector<BoardOutcome>& boards, bool withReasons = true);
// The summary of a port's run: the port's own failure once rather than per board.
std::string summaryText(const PortOutcome& port);

}  // namespace horalux::cli
