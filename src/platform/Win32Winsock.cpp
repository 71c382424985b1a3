#include "platform/Win32Winsock.h"

#include <cerrno>

namespace horalux::platform {

bool winsockReady() {
    // Never cleaned up: the sockets live until the process ends.
    static const bool ready = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

int errnoOfWinsock(int error) {
    switch (error) {
        case WSAECONNREFUSED:
        case WSAECONNRESET:
            return ECONNREFUSED;
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        case WSAENETUNREACH:
        case WSAENETDOWN:
            return ENETUNREACH;
        case WSAEHOSTUNREACH:
            return EHOSTUNREACH;
        case WSAEACCES:
            return EACCES;
        case WSAEMSGSIZE:
            return EMSGSIZE;
        case WSAEINTR:
            return EINTR;
        case WSAEADDRNOTAVAIL:
            return EADDRNOTAVAIL;
        default:
            return EIO;
    }
}

}  // namespace horalux::platform
