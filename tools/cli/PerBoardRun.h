#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "CliOptions.h"

namespace horalux::cli {

// A port's name as a folder name: "/dev/" dropped, then every character but letters, digits,
// '.', '-' and '_' made '_' ("ttyUSB0", "tcp___host_4001").
std::string portFolderName(std::string_view port);

// The folder of each port, in the order given: its portFolderName, and for a port whose name
// comes out as an earlier port's (or as another's plain name), that name with "-2", "-3", ...
// Names are compared without regard to case, as some file systems compare them.
std::vector<std::string> portFolderNames(const std::vector<std::string>& ports);

// Runs a per-board command (an address list, several ports, --out-dir) on every port of
// `options` at the same time, each port with its own session on its own thread, and ends each
// port with its summary (and all ports with a total); the exit status: 0 when every board of
// every port succeeded, 2 when a file could not be used, else 1.
int runPerBoard(const CliOptions& options, std::ostream& out, std::ostream& err,
                const std::atomic<bool>& interrupted);

}  // namespace horalux::cli
