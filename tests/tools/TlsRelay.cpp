#include "TlsRelay.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

#include "support/LoopbackSockets.h"

namespace horalux::test {
namespace {

constexpr int kSliceMs = 20;

int connectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TlsRelay::TlsRelay(const std::string& cert, const std::string& key, std::uint16_t relayTo,
                   int maxVersion)
    : relayTo_(relayTo) {
    context_ = SSL_CTX_new(TLS_server_method());
    if (maxVersion != 0) {
        // An outdated server: the old versions need the lowest security level to be spoken.
        SSL_CTX_set_security_level(context_, 0);
        SSL_CTX_set_min_proto_version(context_, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(context_, maxVersion);
    }
    if (SSL_CTX_use_certificate_file(context_, cert.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(context_);
        throw std::runtime_error("the relay cannot use its certificate");
    }
    try {
        listener_ = test::listeningLoopbackSocket(&port_);
    } catch (...) {
        SSL_CTX_free(context_);
        throw;
    }
    thread_ = std::thread([this] { serve(); });
}

TlsRelay::~TlsRelay() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
    SSL_CTX_free(context_);
}

void TlsRelay::serve() {
    while (!stop_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, kSliceMs) <= 0) {
            continue;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        SSL* ssl = SSL_new(context_);
        SSL_set_fd(ssl, client);
        if (SSL_accept(ssl) == 1) {
            relay(ssl, client);
        }
        SSL_free(ssl);
        ::close(client);
    }
}

void TlsRelay::relay(SSL* ssl, int client) {
    const int upstream = relayTo_ != 0 ? connectTo(relayTo_) : -1;
    if (upstream < 0) {
        return;
    }
    std::array<std::uint8_t, 4096> buffer{};
    while (!stop_) {
        std::array<pollfd, 2> fds{pollfd{client, POLLIN, 0}, pollfd{upstream, POLLIN, 0}};
        if (SSL_pending(ssl) == 0 && ::poll(fds.data(), fds.size(), kSliceMs) <= 0) {
            continue;
        }
        if (SSL_pending(ssl) > 0 || (fds[0].revents & (POLLIN | POLLHUP)) != 0) {
            const int n = SSL_read(ssl, buffer.data(), static_cast<int>(buffer.size()));
            if (n <= 0) {
                break;
            }
            ::send(upstream, buffer.data(), static_cast<std::size_t>(n), MSG_NOSIGNAL);
        }
        if ((fds[1].revents & (POLLIN | POLLHUP)) != 0) {
            const ssize_t n = ::recv(upstream, buffer.data(), buffer.size(), 0);
            if (n <= 0 || SSL_write(ssl, buffer.data(), static_cast<int>(n)) <= 0) {
                break;
            }
        }
    }
    ::close(upstream);
}

}  // namespace horalux::test
