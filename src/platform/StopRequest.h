#pragma once

namespace horalux::platform {

// Calls `handler` with a signal number (SIGINT for Ctrl+C, SIGTERM for a request to end) when
// the user or the system asks the program to stop. It runs as a signal handler, or on Windows
// in a thread of its own: it may only set flags.
void onStopRequest(void (*handler)(int signal));

}  // namespace horalux::platform
