#pragma once

// The machine's own clock on the platform being built, as MachineClock, with
// systemClockSynchronised and localDateTimeOfUnixMs beside it.
#if defined(_WIN32)
#include "platform/Win32SystemClock.h"
namespace horalux::platform {
using MachineClock = Win32SystemClock;
}
#else
#include "platform/PosixSystemClock.h"
namespace horalux::platform {
using MachineClock = PosixSystemClock;
}
#endif
