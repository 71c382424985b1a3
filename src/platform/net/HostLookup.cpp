#include "platform/net/HostLookup.h"

#if defined(_WIN32)
#include "platform/Win32Winsock.h"
#else
#include <sys/socket.h>
#endif

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace horalux::platform {
namespace {

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;  // the caller stopped waiting: the lookup frees its own result
    int status = 0;
    int error = 0;
    addrinfo* found = nullptr;
};

int resolve(const std::string& host, const std::string& service, addrinfo** found) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    return getaddrinfo(host.c_str(), service.c_str(), &hints, found);
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

}  // namespace

AddrInfoList lookUpHost(const NetAddress& address, std::uint32_t timeoutMs, std::string& cause) {
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
        std::thread([lookup, host = address.host, service] {
            addrinfo* found = nullptr;
            const int status = resolve(host, service, &found);
            const int error = errno;
            std::lock_guard lock(lookup->mutex);
            if (lookup->abandoned) {
                if (found != nullptr) {
                    freeaddrinfo(found);
                }
                return;
            }
            lookup->status = status;
            lookup->error = error;
            lookup->found = found;
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: look up here, unbounded, rather than not at all.
        addrinfo* found = nullptr;
        const int status = resolve(address.host, service, &found);
        if (status != 0 || found == nullptr) {
            cause = failureText(status, errno);
            return nullptr;
        }
        return AddrInfoList(found);
    }
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return lookup->finished; })) {
        lookup->abandoned = true;
        cause = "timed out";
        return nullptr;
    }
    if (lookup->status != 0 || lookup->found == nullptr) {
        cause = failureText(lookup->status, lookup->error);
        return nullptr;
    }
    return AddrInfoList(std::exchange(lookup->found, nullptr));
}

}  // namespace horalux::platform
