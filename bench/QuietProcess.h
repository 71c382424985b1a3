#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace horalux::bench {

// Starts a program with its output dropped, so that writing it costs the measurement nothing.
pid_t startQuietly(std::vector<std::string> args);

// Waits for the process to end; the user and system time it took, in seconds.
double cpuSecondsAtExit(pid_t pid);

}  // namespace horalux::bench
