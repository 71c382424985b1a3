// The network port against a TCP server played by the test on the loopback interface.
#include "platform/net/NetworkPort.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "platform/PortOpener.h"

namespace horalux::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A listening socket on 127.0.0.1 and the one connection it accepts.
class LoopbackServer {
  public:
    LoopbackServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
    }
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

Bytes readAll(SerialPort& port, std::size_t count) {
    Bytes got(count);
    const IoResult result = port.read(got.data(), count);
    got.resize(result.count);
    return got;
}

TEST(NetworkPort, ARawPortCarriesEveryByteAsItIsAndAClosedConnectionIsGone) {
    LoopbackServer server;
    std::string failure;
    auto port = NetworkPort::open(server.name("tcp://"), 9600, &failure, {.settleMs = 0});
    ASSERT_NE(port, nullptr) << failure;
    server.accept();
    EXPECT_EQ(port->speed(), 9600U);
    const Bytes frame{0xFF, 0x01, 0xFF, 0xFF, 0x7E};
    ASSERT_EQ(port->write(frame.data(), frame.size()).count, frame.size());
    EXPECT_EQ(server.receive(frame.size()), frame);
    server.send({0x10, 0xFF, 0xFF, 0x20});
    EXPECT_EQ(readAll(*port, 4), (Bytes{0x10, 0xFF, 0xFF, 0x20}));
    // A speed is only the nominal one: nothing goes on the connection for it.
    port->setSpeed(115200);
    EXPECT_EQ(port->speed(), 115200U);

    server.send({0x42});
    server.closeClient();
    std::uint8_t byte = 0;
    EXPECT_EQ(port->read(&byte, 1).count, 1U);  // what came before the end is read first
    EXPECT_EQ(byte, 0x42);
    EXPECT_EQ(port->read(&byte, 1).status, IoStatus::Gone);
    EXPECT_EQ(port->readSome(&byte, 1).status, IoStatus::Gone);
    EXPECT_EQ(port->write(&byte, 1).status, IoStatus::Gone);
}

TEST(NetworkPort, ATelnetPortSetsUpTheLineEscapesFfAndKeepsCommandsFromTheReader) {
    LoopbackServer server;
    // The server's answers to 8 data bits, no parity, one stop bit and 9600 bit/s.
    const Bytes answers{0xFF, 0xFA, 44,   102,  8,    0xFF, 0xF0, 0xFF, 0xFA, 44,   103,
                        1,    0xFF, 0xF0, 0xFF, 0xFA, 44,   104,  1,    0xFF, 0xF0, 0xFF,
                        0xFA, 44,   101,  0,    0,    0x25, 0x80, 0xFF, 0xF0};
    std::thread serverSide([&] {
        server.accept();
        server.send(answers);
    });
    std::string failure;
    auto port = NetworkPort::open(server.name("rfc2217://"), 9600, &failure);
    serverSide.join();
    ASSERT_NE(port, nullptr) << failure;
    // The greeting (15 bytes) and the four requests (7, 7, 7 and 10 bytes) came first.
    const Bytes setup = server.receive(15 + 7 + 7 + 7 + 10);
    EXPECT_EQ(Bytes(setup.end() - 10, setup.end()), TelnetCodec::setBaudRate(9600));

    const Bytes frame{0x02, 0xFF, 0x74, 0xFF};
    ASSERT_EQ(port->write(frame.data(), frame.size()).count, frame.size());
    EXPECT_EQ(server.receive(6), (Bytes{0x02, 0xFF, 0xFF, 0x74, 0xFF, 0xFF}));

    server.send({0x10, 0xFF, 0xFF, 0xFF, 0xF1, 0xFF, 0xFA, 44, 106, 0, 0xFF, 0xF0, 0x20});
    EXPECT_EQ(readAll(*port, 3), (Bytes{0x10, 0xFF, 0x20}));
}

TEST(NetworkPort, FailuresToOpenNameThePortAndTheCause) {
    struct Case {
        const char* what;
        std::string name;
        std::string serverSays;  // sent by the server on accepting, which then closes
        std::string cause;
    };
    LoopbackServer server;
    const std::string refusedName = [] {
        LoopbackServer gone;
        return gone.name("tcp://");
    }();
    const Case cases[] = {
        {"unknown host", "tcp://no-such-board.invalid:4001", "", "host not found"},
        {"nobody listens", refusedName, "", "connection refused"},
        {"not an address", "rfc2217://[fd00::7", "", "not a network address"},
        {"a raw port already serving someone", server.name("tcp://"), "Port already in use\r\n",
         "in use by another program"},
        {"a telnet port already serving someone", server.name("rfc2217://"),
         "\xFF\xFD\x2C"
         "Port's device already in use\r\n",
         "in use by another program"},
        {"a server that closes without a word", server.name("tcp://"), "",
         "in use by another program"},
        {"a server that closes saying why", server.name("rfc2217://"), "Device open failure\r\n",
         "closed by the device server: Device open failure"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool served = c.name == server.name("tcp://") || c.name == server.name("rfc2217://");
        std::thread serverSide;
        if (served) {
            serverSide = std::thread([&] {
                server.accept();
                server.send(Bytes(c.serverSays.begin(), c.serverSays.end()));
                server.closeClient();
            });
        }
        PortOpener opener;
        opener.setNetworkTimeouts({.settleMs = 10000});  // a close ends the wait at once
        EXPECT_EQ(opener.open(c.name, 9600), nullptr);
        if (served) {
            serverSide.join();
        }
        EXPECT_EQ(opener.lastFailureCause().rfind(c.name + ": " + c.cause, 0), 0U)
            << opener.lastFailureCause();
    }
}

}  // namespace
}  // namespace horalux::platform
