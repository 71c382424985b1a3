#include "platform/Win32FineTimer.h"

#include <windows.h>

#include <mmsystem.h>

namespace horalux::platform {
namespace {

constexpr UINT kPeriodMs = 1;

}  // namespace

FineTimer::FineTimer() : raised_(timeBeginPeriod(kPeriodMs) == TIMERR_NOERROR) {}

FineTimer::~FineTimer() {
    // Only a granted raise is ended: an unmatched end would lower what another holder raised.
    if (raised_) {
        timeEndPeriod(kPeriodMs);
    }
}

}  // namespace horalux::platform
