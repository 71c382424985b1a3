// Host lookups with an injected resolver: no real name service is asked.
#include "platform/net/HostLookup.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>

namespace horalux::platform {
namespace {

void ignoreSignal(int) {}

// A resolver that answers only once let go, as a name service that does not answer.
struct StuckResolver {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool released = false;
    bool returned = false;
};

TEST(HostLookup, AStopRequestEndsALookupThatNeverAnswersAtOnce) {
    // As Ctrl+C does: a signal whose handler only sets a flag, with no restart of waits.
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = ignoreSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    auto stuck = std::make_shared<StuckResolver>();
    const HostResolver resolver = [stuck](const std::string&, const std::string&, const addrinfo&,
                                          addrinfo**) {
        std::unique_lock lock(stuck->mutex);
        stuck->started = true;
        stuck->changed.notify_all();
        stuck->changed.wait(lock, [&] { return stuck->released; });
        stuck->returned = true;
        stuck->changed.notify_all();
        return EAI_AGAIN;
    };
    // The signal is sent until the lookup has ended: one sent before the wait began is lost.
    std::atomic<bool> ended{false};
    const pthread_t caller = pthread_self();
    std::thread stopper([&] {
        {
            std::unique_lock lock(stuck->mutex);
            stuck->changed.wait(lock, [&] { return stuck->started; });
        }
        while (!ended) {
            pthread_kill(caller, SIGUSR1);
            const timespec pause{0, 5'000'000};
            nanosleep(&pause, nullptr);
        }
    });
    std::string cause;
    const AddrInfoList found = lookUpHost({"board.example", 4001}, 20000, cause, resolver);
    ended = true;
    stopper.join();
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(cause, "interrupted");

    // The abandoned lookup ends on its own once the resolver returns.
    std::unique_lock lock(stuck->mutex);
    stuck->released = true;
    stuck->changed.notify_all();
    stuck->changed.wait(lock, [&] { return stuck->returned; });
    sigaction(SIGUSR1, &previous, nullptr);
}

}  // namespace
}  // namespace horalux::platform
