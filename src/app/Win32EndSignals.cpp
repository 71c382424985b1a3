#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <mutex>

#include "app/EndSignals.h"

namespace horalux::app {
namespace {

std::atomic<bool> requested{false};
std::mutex handlerMutex;
std::function<void()> endHandler;

// Runs on a thread the system starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    requested.store(true);
    const std::lock_guard lock(handlerMutex);
    if (endHandler) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), endHandler, Qt::QueuedConnection);
    }
    return TRUE;
}

}  // namespace

void catchEndSignals() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

std::atomic<bool>& endRequested() {
    return requested;
}

void onEndSignal(std::function<void()> handler) {
    const std::lock_guard lock(handlerMutex);
    endHandler = std::move(handler);
}

}  // namespace horalux::app
