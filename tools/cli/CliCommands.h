#pragma once

#include <atomic>
#include <iosfwd>

#include "CliOptions.h"

namespace horalux::cli {

// Runs one command; returns the exit status (0 done, 1 the board or the line failed).
int runCommand(const CliOptions& options, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& interrupted);

}  // namespace horalux::cli
