#include "platform/ThreadPriority.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace horalux::platform {
namespace {

int threadNice() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

TEST(ThreadPriority, LowersOnlyTheCallingThreadByOneStep) {
    const int before = threadNice();
    int inside = 0;
    int insideBefore = 0;
    std::thread worker([&] {
        insideBefore = threadNice();
        lowerCurrentThreadPriority();
        inside = threadNice();
    });
    worker.join();
    EXPECT_EQ(inside, std::min(insideBefore + 1, 19));
    EXPECT_EQ(threadNice(), before);
}

}  // namespace
}  // namespace horalux::platform
