#pragma once

#include <atomic>
#include <iosfwd>
#include <optional>
#include <string>

#include "CliCommandTable.h"
#include "CliOptions.h"
#include "config/RegisterImage.h"

namespace horalux::cli {

// Runs the command of `options` (one of the table's); returns the exit status (0 done, 1 the
// board or the line failed, 2 bad usage).
int runCommand(const CliOptions& options, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& interrupted);

class CliSession;

// Connects (or goes on with the open exchange) and reads every register of the board.
bool connectAndReadAll(CliSession& session);
// The register file of `options.file`, checked whole before anything reaches a board: it must
// hold every key. Says which file it read; nothing (with the reason told) when it cannot be used.
std::optional<config::RegisterImage> readRegisterFileWhole(CommandContext& c);

// The handlers of the command table.
int listPorts(CommandContext& c);
int readRegisters(CommandContext& c);
int writeRegisters(CommandContext& c);
// Per register that differs from the file, a line; exit 1 when any does (CliCompare.cpp).
int compareRegisters(CommandContext& c);
int syncTime(CommandContext& c);
int readTime(CommandContext& c);
int readFields(CommandContext& c);
int writeField(CommandContext& c);
int setMode(CommandContext& c);
int monitor(CommandContext& c);
int sntp(CommandContext& c);
// keep-time's own arguments; the reason when they are wrong (KeepTimeRun.cpp).
std::optional<std::string> keepTimeArguments(ArgumentReader& args, CliOptions& options);
// Runs until a signal, on the real port, clock and tick (KeepTimeRun.cpp).
int keepTime(CommandContext& c);
// Runs until a signal: the boards of the address list to an MQTT broker and back (BridgeRun.cpp;
// on Windows it says it is not there).
int bridge(CommandContext& c);

}  // namespace horalux::cli
