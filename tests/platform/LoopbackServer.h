#pragma once

// A device server played by a test: a listening socket on 127.0.0.1 and the one connection it
// accepts, with the behaviours the network port tests need.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/PortOpener.h"
#include "platform/net/TelnetCodec.h"
#include "support/LoopbackSockets.h"

namespace horalux::platform {

using Bytes = std::vector<std::uint8_t>;

class LoopbackServer {
  public:
    LoopbackServer() { listener_ = test::listeningLoopbackSocket(&port_); }
    ~LoopbackServer() {
        closeClient();
        ::close(listener_);
    }
    std::string name(const char* scheme) const {
        return std::string(scheme) + "127.0.0.1:" + std::to_string(port_);
    }
    void accept() { client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC); }
    void send(const Bytes& bytes) {
        ASSERT_EQ(::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Reads until `count` bytes have come (or the peer closed).
    Bytes receive(std::size_t count) {
        Bytes got(count);
        std::size_t have = 0;
        while (have < count) {
            const ssize_t n = ::recv(client_, got.data() + have, count - have, 0);
            if (n <= 0) {
                break;
            }
            have += static_cast<std::size_t>(n);
        }
        got.resize(have);
        return got;
    }
    // Sends `pattern` over and over until the peer goes away.
    void flood(const Bytes& pattern) {
        Bytes block;
        while (block.size() < 16384) {
            block.insert(block.end(), pattern.begin(), pattern.end());
        }
        while (::send(client_, block.data(), block.size(), MSG_NOSIGNAL) > 0) {
        }
    }
    // Plays a device server until the peer goes away: each COM-PORT-OPTION request is answered
    // with `answer(command, value)`, sent `copies` times in one piece.
    void serveComPort(const std::function<Bytes(std::uint8_t, const Bytes&)>& answer,
                      int copies = 1) {
        TelnetCodec requests;  // a request is laid out as an answer is
        std::array<std::uint8_t, 4096> chunk{};
        for (;;) {
            const ssize_t n = ::recv(client_, chunk.data(), chunk.size(), 0);
            if (n <= 0) {
                return;
            }
            Bytes data;
            Bytes ignored;
            requests.decode(std::span(chunk.data(), static_cast<std::size_t>(n)), data, ignored);
            Bytes out;
            for (ComPortReply request; requests.takeComPortReply(request);) {
                const Bytes one = answer(request.command, request.value);
                for (int i = 0; i < copies; ++i) {
                    out.insert(out.end(), one.begin(), one.end());
                }
            }
            if (!out.empty() && ::send(client_, out.data(), out.size(), MSG_NOSIGNAL) <= 0) {
                return;
            }
        }
    }
    void closeClient() {
        if (client_ >= 0) {
            ::close(client_);
            client_ = -1;
        }
    }

  private:
    int listener_ = -1;
    int client_ = -1;
    std::uint16_t port_ = 0;
};

// The server's answer to a COM-PORT-OPTION request: the request's code plus 100, and `value`.
inline Bytes comPortAnswer(std::uint8_t command, const Bytes& value) {
    return TelnetCodec::comPortCommand(command + telnet::kServerOffset, value);
}

// A network port opened by its name, as the program opens it; the cause of a failure goes to
// `failure`.
inline std::unique_ptr<SerialPort> openNetworkPort(const std::string& name, std::uint32_t speed,
                                                   std::string* failure = nullptr,
                                                   const NetworkTimeouts& timeouts = {}) {
    PortOpener opener;
    opener.setNetworkTimeouts(timeouts);
    std::unique_ptr<SerialPort> port = opener.open(name, speed);
    if (failure != nullptr) {
        *failure = opener.lastFailureCause();
    }
    return port;
}

}  // namespace horalux::platform
