// The network port's set-up against device servers that misbehave, played by the test on the
// loopback interface.
#include <gtest/gtest.h>

#include <thread>

#include "LoopbackServer.h"
#include "platform/net/NetworkPort.h"

namespace horalux::platform {
namespace {

Bytes echo(std::uint8_t command, const Bytes& value) {
    return comPortAnswer(command, value);
}

TEST(NetworkPortSetUp, AServerThatMisbehavesWhileTheLineIsSetUpIsRefusedWithinTheLimit) {
    struct Case {
        const char* what;
        const char* scheme;
        std::function<void(LoopbackServer&)> server;
        std::string cause;
    };
    // Each server runs until the port lets go of it; the set-up limit is far beyond what the
    // refusal should take, so a wait that runs to it shows in the cause.
    const Case cases[] = {
        {"a raw server flooding the line", "tcp://",
         [](LoopbackServer& s) {
             s.flood({0x5A, 0x01});
         },
         "the device server sent data before the line was set up"},
        {"a telnet server flooding the line", "rfc2217://",
         [](LoopbackServer& s) {
             s.flood({0x5A, 0x01});
         },
         "the device server sent data before the line was set up"},
        // Each request wants an answer; the server reads none, so ours stall.
        {"a telnet server flooding option requests and never reading", "rfc2217://",
         [](LoopbackServer& s) {
             s.flood({telnet::kIac, telnet::kDo, 99});
         },
         "the device server did not set up the line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoopbackServer server;
        std::thread serverSide([&] {
            server.accept();
            c.server(server);
        });
        std::string failure;
        const NetworkTimeouts timeouts{.setupMs = 1500, .settleMs = 10000};
        EXPECT_EQ(openNetworkPort(server.name(c.scheme), 9600, &failure, timeouts), nullptr);
        serverSide.join();
        EXPECT_NE(failure.find(": " + c.cause), std::string::npos) << failure;
    }
}

TEST(NetworkPortSetUp, ALineSetToAnythingButEightDataBitsNoParityAndOneStopBitIsRefused) {
    LoopbackServer server;
    std::thread serverSide([&] {
        server.accept();
        server.serveComPort([](std::uint8_t command, const Bytes& value) {
            switch (command) {
                case telnet::kSetDataSize:
                    return comPortAnswer(command, {7});
                case telnet::kSetParity:
                    return comPortAnswer(command, {3});  // even
                case telnet::kSetStopSize:
                    return comPortAnswer(command, {2});
                default:
                    return comPortAnswer(command, value);
            }
        });
    });
    try {
        auto port = openNetworkPort(server.name("rfc2217://"), 9600);
        ADD_FAILURE() << "a 7E2 line was accepted";
    } catch (const PortError& e) {
        EXPECT_STREQ(e.what(),
                     "Error setting port state\n"
                     "8N1: the device server set 7 data bits, even parity, 2 stop bits");
    }
    serverSide.join();
}

TEST(NetworkPortSetUp, EachSpeedAnswerIsTakenForTheLatestRequestWhenTheServerAnswersTwice) {
    LoopbackServer server;
    std::thread serverSide([&] {
        server.accept();
        server.serveComPort(echo, 2);
    });
    std::string failure;
    auto port = openNetworkPort(server.name("rfc2217://"), 9600, &failure);
    ASSERT_NE(port, nullptr) << failure;
    // A scan goes up a speed, then back: each change must see its own answer.
    for (const std::uint32_t speed : {115200U, 9600U, 19200U}) {
        EXPECT_NO_THROW(port->setSpeed(speed));
        EXPECT_EQ(port->speed(), speed);
    }
    port.reset();
    serverSide.join();
}

}  // namespace
}  // namespace horalux::platform
