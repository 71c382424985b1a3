#include "platform/StopRequest.h"

#include <csignal>

namespace horalux::platform {

void onStopRequest(void (*handler)(int signal)) {
    // No SA_RESTART: a blocking wait ends with EINTR, so a stop is noticed at once.
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace horalux::platform
