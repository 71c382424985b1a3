#pragma once

namespace horalux::app {

// A windowed program on Windows has no console of its own: what it prints (--help, --version)
// goes to the console it was started from, if any. Elsewhere standard output is already there.
#ifdef _WIN32
void useStartingConsole();
#else
inline void useStartingConsole() {}
#endif

}  // namespace horalux::app
