#pragma once

#include <atomic>
#include <iosfwd>

#include "CliCommandTable.h"
#include "CliOptions.h"

namespace horalux::cli {

// Runs the command of `options` (one of the table's); returns the exit status (0 done, 1 the
// board or the line failed, 2 bad usage).
int runCommand(const CliOptions& options, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& interrupted);

// The handlers of the command table.
int listPorts(CommandContext& c);
int readRegisters(CommandContext& c);
int writeRegisters(CommandContext& c);
int syncTime(CommandContext& c);
int readTime(CommandContext& c);
int readFields(CommandContext& c);
int writeField(CommandContext& c);
int setMode(CommandContext& c);
int monitor(CommandContext& c);
int sntp(CommandContext& c);
// Runs until a signal, on the real port, clock and tick (KeepTimeLine.cpp).
int keepTime(CommandContext& c);

}  // namespace horalux::cli
