// The network port against a TCP server played by the test on the loopback interface.
#include "platform/net/NetworkPort.h"

#include <gtest/gtest.h>

#include <thread>

#include "LoopbackServer.h"
#include "platform/PortOpener.h"
#include "platform/net/NetworkPortKinds.h"
#include "platform/net/Rfc2217Layer.h"

namespace horalux::platform {
namespace {

Bytes readAll(SerialPort& port, std::size_t count) {
    Bytes got(count);
    const IoResult result = port.read(got.data(), count);
    got.resize(result.count);
    return got;
}

TEST(NetworkPort, ARawPortCarriesEveryByteAsItIsAndAClosedConnectionIsGone) {
    LoopbackServer server;
    std::string failure;
    auto port = openNetworkPort(server.name("tcp://"), 9600, &failure, {.settleMs = 0});
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

// A device server's answers to 8 data bits, no parity, one stop bit and 9600 bit/s.
const Bytes kAnswers8N1At9600{0xFF, 0xFA, 44,   102,  8,    0xFF, 0xF0, 0xFF, 0xFA, 44,   103,
                              1,    0xFF, 0xF0, 0xFF, 0xFA, 44,   104,  1,    0xFF, 0xF0, 0xFF,
                              0xFA, 44,   101,  0,    0,    0x25, 0x80, 0xFF, 0xF0};
// What a Telnet port sends while it sets up the line: the greeting (15 bytes) and the four
// requests (7, 7, 7 and 10 bytes).
constexpr std::size_t kSetUpBytes = 15 + 7 + 7 + 7 + 10;

TEST(NetworkPort, ATelnetPortSetsUpTheLineEscapesFfAndKeepsCommandsFromTheReader) {
    LoopbackServer server;
    const Bytes& answers = kAnswers8N1At9600;
    std::thread serverSide([&] {
        server.accept();
        server.send(answers);
    });
    std::string failure;
    auto port = openNetworkPort(server.name("rfc2217://"), 9600, &failure);
    serverSide.join();
    ASSERT_NE(port, nullptr) << failure;
    const Bytes setup = server.receive(kSetUpBytes);
    EXPECT_EQ(Bytes(setup.end() - 10, setup.end()), TelnetCodec::setBaudRate(9600));

    const Bytes frame{0x02, 0xFF, 0x74, 0xFF};
    ASSERT_EQ(port->write(frame.data(), frame.size()).count, frame.size());
    EXPECT_EQ(server.receive(6), (Bytes{0x02, 0xFF, 0xFF, 0x74, 0xFF, 0xFF}));

    server.send({0x10, 0xFF, 0xFF, 0xFF, 0xF1, 0xFF, 0xFA, 44, 106, 0, 0xFF, 0xF0, 0x20});
    EXPECT_EQ(readAll(*port, 3), (Bytes{0x10, 0xFF, 0x20}));
}

Bytes inverted(Bytes bytes) {
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(~byte);
    }
    return bytes;
}

// Stands in for an encryption slid under the protocol layer: every byte inverted both ways.
class InvertingPipe final : public BytePipe {
  public:
    explicit InvertingPipe(std::unique_ptr<BytePipe> under) : under_(std::move(under)) {}
    NetResult receive(std::span<std::uint8_t> buffer, std::uint32_t timeoutMs) override {
        const NetResult got = under_->receive(buffer, timeoutMs);
        for (std::size_t i = 0; i < got.count; ++i) {
            buffer[i] = static_cast<std::uint8_t>(~buffer[i]);
        }
        return got;
    }
    NetResult sendAll(std::span<const std::uint8_t> bytes, std::uint32_t stallMs) override {
        return under_->sendAll(inverted(Bytes(bytes.begin(), bytes.end())), stallMs);
    }
    void close() override { under_->close(); }

  private:
    std::unique_ptr<BytePipe> under_;
};

class NoDevices final : public SerialDeviceOpener {
  public:
    std::unique_ptr<SerialPort> open(const std::string&, std::uint32_t) override { return {}; }
};

TEST(NetworkPort, APipeSlidUnderTheTelnetLayerCarriesTheSetUpAndTheLineInItsOwnBytes) {
    LoopbackServer server;
    std::thread serverSide([&] {
        server.accept();
        server.send(inverted(kAnswers8N1At9600));
    });
    const std::string name = server.name("rfc2217://");
    NoDevices devices;
    const NetworkTimeouts timeouts;
    std::string failure;
    const PortOpenRequest request{name, 9600, devices, timeouts, failure};
    std::unique_ptr<BytePipe> connection = connectToPortHost(request);
    ASSERT_NE(connection, nullptr) << failure;
    auto port = openOverPipe(request, std::make_unique<InvertingPipe>(std::move(connection)),
                             std::make_unique<Rfc2217Layer>());
    serverSide.join();
    ASSERT_NE(port, nullptr) << failure;
    const Bytes setup = inverted(server.receive(kSetUpBytes));
    EXPECT_EQ(Bytes(setup.end() - 10, setup.end()), TelnetCodec::setBaudRate(9600));

    const Bytes frame{0x02, 0xFF, 0x74};
    ASSERT_EQ(port->write(frame.data(), frame.size()).count, frame.size());
    EXPECT_EQ(inverted(server.receive(4)), (Bytes{0x02, 0xFF, 0xFF, 0x74}));
    server.send(inverted({0x10, 0xFF, 0xFF, 0xFF, 0xF1, 0x20}));
    EXPECT_EQ(readAll(*port, 3), (Bytes{0x10, 0xFF, 0x20}));
}

TEST(NetworkPort, FailuresToOpenNameThePortAndTheCause) {
    struct Case {
        const char* what;
        std::string name;
        std::string serverSays;  // sent by the server on accepting, which then closes
        std::string failure;     // how the message begins
    };
    LoopbackServer server;
    const std::string refusedName = [] {
        LoopbackServer gone;
        return gone.name("tcp://");
    }();
    const std::string raw = server.name("tcp://");
    const std::string telnet = server.name("rfc2217://");
    const Case cases[] = {
        {"unknown host", "tcp://no-such-board.invalid:4001", "",
         "tcp://no-such-board.invalid:4001: host not found"},
        {"nobody listens", refusedName, "", refusedName + ": connection refused"},
        {"not an address", "rfc2217://[fd00::7", "", "rfc2217://[fd00::7: not a network address"},
        {"a name that would split the message", "tcp://board\n:4001\r\x01", "",
         R"("tcp://board\n:4001\r\x01": not a network address)"},
        {"a raw port already serving someone", raw, "Port already in use\r\n",
         raw + ": in use by another program"},
        {"a telnet port already serving someone", telnet,
         "\xFF\xFD\x2C"
         "Port's device already in use\r\n",
         telnet + ": in use by another program"},
        {"a raw server that closes without a word", raw, "",
         raw + ": the device server closed the connection during set-up"},
        {"a telnet server that closes after negotiating", telnet, "\xFF\xFB\x03\xFF\xFD\x00",
         telnet + ": the device server closed the connection during set-up"},
        {"a server that closes saying why", telnet, "Device open failure\r\n",
         telnet + ": closed by the device server: Device open failure"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool served = c.name == raw || c.name == telnet;
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
        EXPECT_EQ(opener.lastFailureCause().rfind(c.failure, 0), 0U) << opener.lastFailureCause();
    }
}

}  // namespace
}  // namespace horalux::platform
