#include "support/LoopbackSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace horalux::test {
namespace {

int loopbackSocket(int type, std::uint16_t* port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("cannot make a socket on 127.0.0.1");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr raw{};
    std::memcpy(&raw, &address, sizeof address);
    socklen_t length = sizeof address;
    if (::bind(fd, &raw, sizeof address) != 0 || (type == SOCK_STREAM && ::listen(fd, 4) != 0) ||
        ::getsockname(fd, &raw, &length) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot bind a socket on 127.0.0.1");
    }
    std::memcpy(&address, &raw, sizeof address);
    *port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

int boundLoopbackSocket(std::uint16_t* port) {
    return loopbackSocket(SOCK_DGRAM, port);
}

int listeningLoopbackSocket(std::uint16_t* port) {
    return loopbackSocket(SOCK_STREAM, port);
}

}  // namespace horalux::test
