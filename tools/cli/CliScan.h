#pragma once

#include <optional>
#include <string>

#include "CliCommandTable.h"
#include "CliOptions.h"
#include "link/scan/BoardScan.h"

namespace horalux::cli {

// `scan [--speeds LIST] [--addresses FROM-TO]`: the reason when the arguments are wrong.
std::optional<std::string> scanArguments(ArgumentReader& args, CliOptions& options);
// "$4D/77   115200  master  clock +2 s": the address as the address list writes it, the speed,
// the mode and how far the board's clock is from the PC's.
std::string scanBoardLine(const link::FoundBoard& board);
// Prints one line per board as it is found; 0 when any was, 1 when none was or the line failed.
int scan(CommandContext& c);

}  // namespace horalux::cli
