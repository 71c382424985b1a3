#pragma once

#include <optional>
#include <string>

#include "CliCommandTable.h"
#include "CliOptions.h"

namespace horalux::cli {

// `scan [--speeds LIST] [--addresses FROM-TO]`: the reason when the arguments are wrong.
std::optional<std::string> scanArguments(ArgumentReader& args, CliOptions& options);
// Prints one line per board as it is found; 0 when any was, 1 when none was or the line failed.
int scan(CommandContext& c);

}  // namespace horalux::cli
