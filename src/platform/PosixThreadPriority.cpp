#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace horalux::platform {

void lowerCurrentThreadPriority() {
    // On Linux the nice value of PRIO_PROCESS with a thread id applies to that thread alone.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, tid);
    if (nice == -1 && errno != 0) {
        return;
    }
    ::setpriority(PRIO_PROCESS, tid, nice + 1);
}

}  // namespace horalux::platform
