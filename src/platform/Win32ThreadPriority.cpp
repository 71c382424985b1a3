#include <windows.h>

#include "platform/ThreadPriority.h"

namespace horalux::platform {

void lowerCurrentThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace horalux::platform
