#pragma once

#include <atomic>
#include <functional>

namespace horalux::app {

// The system asking the program to end: SIGTERM, SIGINT and SIGHUP on POSIX; Ctrl+C, Ctrl+Break
// and the closing of a console it was started from on Windows.

// Starts catching them; called before the application object exists, so none is lost.
void catchEndSignals();

// Set once one came; the start-up wait for the time server looks at it.
std::atomic<bool>& endRequested();

// `handler` runs on the main thread's event loop for each one that comes from now on. Needs the
// application object.
void onEndSignal(std::function<void()> handler);

}  // namespace horalux::app
