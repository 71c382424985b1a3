#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/StopRequest.h"

namespace horalux::platform {
namespace {

std::atomic<void (*)(int)> stopHandler{nullptr};

BOOL WINAPI onConsoleEvent(DWORD event) {
    void (*handler)(int) = stopHandler.load();
    if (handler == nullptr) {
        return FALSE;
    }
    handler(event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}

}  // namespace

void onStopRequest(void (*handler)(int signal)) {
    stopHandler = handler;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

}  // namespace horalux::platform
