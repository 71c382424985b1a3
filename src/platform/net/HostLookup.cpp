#include "platform/net/HostLookup.h"

#if defined(_WIN32)
#include "platform/Win32Winsock.h"
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/Tick.h"

namespace horalux::platform {
namespace {

// One lookup, shared by the caller and the thread that runs it: whichever lets go last frees
// it, the addresses found included, so a caller that stops waiting leaves nothing behind.
struct Lookup {
    Lookup() {
#if !defined(_WIN32)
        if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
            wake[0] = wake[1] = -1;
        }
#endif
    }
    ~Lookup() {
        if (found != nullptr) {
            freeaddrinfo(found);
        }
#if !defined(_WIN32)
        for (const int fd : wake) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
#endif
    }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    int error = 0;
    addrinfo* found = nullptr;
    // Written once the lookup is over: a wait in poll, unlike one on `done`, ends on a signal.
    int wake[2] = {-1, -1};
};

enum class WaitEnd { Finished, TimedOut, Interrupted };

WaitEnd waitFor(Lookup& lookup, std::uint32_t timeoutMs) {
#if !defined(_WIN32)
    if (lookup.wake[0] >= 0) {
        const std::int64_t deadline = monotonicMs() + timeoutMs;
        for (;;) {
            {
                const std::lock_guard lock(lookup.mutex);
                if (lookup.finished) {
                    return WaitEnd::Finished;
                }
            }
            const std::int64_t left = deadline - monotonicMs();
            if (left <= 0) {
                return WaitEnd::TimedOut;
            }
            pollfd pfd{lookup.wake[0], POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left)) < 0 && errno == EINTR) {
                return WaitEnd::Interrupted;
            }
        }
    }
#endif
    std::unique_lock lock(lookup.mutex);
    return lookup.done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return lookup.finished; })
               ? WaitEnd::Finished
               : WaitEnd::TimedOut;
}

std::string failureText(int status, int error) {
#if defined(EAI_SYSTEM)
    return status == EAI_SYSTEM ? std::string(std::strerror(error)) : "host not found";
#else
    (void)status;
    (void)error;
    return "host not found";
#endif
}

addrinfo streamHints() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    return hints;
}

}  // namespace

int systemResolver(const std::string& host, const std::string& service, const addrinfo& hints,
                   addrinfo** found) {
    return getaddrinfo(host.c_str(), service.c_str(), &hints, found);
}

AddrInfoList lookUpHost(const NetAddress& address, std::uint32_t timeoutMs, std::string& cause,
                        const HostResolver& resolver) {
    if (address.host.empty() || isReservedInvalidName(address.host)) {
        cause = "host not found";
        return nullptr;
    }
#if defined(_WIN32)
    if (!winsockReady()) {
        cause = "no network (Winsock did not start)";
        return nullptr;
    }
#endif
    const std::string service = std::to_string(address.port);
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, resolver, host = address.host, service] {
            addrinfo* found = nullptr;
            const int status = resolver(host, service, streamHints(), &found);
            const int error = errno;
            const std::lock_guard lock(lookup->mutex);
            lookup->status = status;
            lookup->error = error;
            lookup->found = found;
            lookup->finished = true;
            lookup->done.notify_all();
#if !defined(_WIN32)
            if (lookup->wake[1] >= 0) {
                const char byte = 1;
                (void)!::write(lookup->wake[1], &byte, 1);
            }
#endif
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: look up here, unbounded, rather than not at all.
        addrinfo* found = nullptr;
        const int status = resolver(address.host, service, streamHints(), &found);
        if (status != 0 || found == nullptr) {
            cause = failureText(status, errno);
            return nullptr;
        }
        return AddrInfoList(found);
    }
    switch (waitFor(*lookup, timeoutMs)) {
        case WaitEnd::TimedOut:
            cause = "timed out";
            return nullptr;
        case WaitEnd::Interrupted:
            cause = "interrupted";
            return nullptr;
        case WaitEnd::Finished:
            break;
    }
    const std::lock_guard lock(lookup->mutex);
    if (lookup->status != 0 || lookup->found == nullptr) {
        cause = failureText(lookup->status, lookup->error);
        return nullptr;
    }
    return AddrInfoList(std::exchange(lookup->found, nullptr));
}

}  // namespace horalux::platform
