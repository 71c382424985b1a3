#include "platform/net/TelnetCodec.h"

#include <gtest/gtest.h>

#include "platform/net/NetAddress.h"

namespace horalux::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Decoded {
    Bytes data;
    Bytes reply;
    std::vector<ComPortReply> answers;
};

// Decodes `in` in pieces of `piece` bytes, as the connection may deliver it.
Decoded decode(TelnetCodec& codec, const Bytes& in, std::size_t piece) {
    Decoded out;
    for (std::size_t at = 0; at < in.size(); at += piece) {
        const std::size_t n = std::min(piece, in.size() - at);
        codec.decode(std::span(in).subspan(at, n), out.data, out.reply);
    }
    for (ComPortReply answer; codec.takeComPortReply(answer);) {
        out.answers.push_back(answer);
    }
    return out;
}

TEST(TelnetCodec, EscapingDoublesEveryFfAndNothingElse) {
    Bytes out;
    TelnetCodec::escape(Bytes{0x00, 0xFF, 0xFE, 0xFF, 0xFF, 0xF0}, out);
    EXPECT_EQ(out, (Bytes{0x00, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}));
}

TEST(TelnetCodec, ComPortCommandsEscapeTheirValues) {
    EXPECT_EQ(TelnetCodec::setBaudRate(9600),
              (Bytes{0xFF, 0xFA, 44, 1, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0}));
    EXPECT_EQ(TelnetCodec::setBaudRate(0xFF00),
              (Bytes{0xFF, 0xFA, 44, 1, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xF0}));
}

TEST(TelnetCodec, OnlyTheLinesBytesComeOutWhateverThePiecesTheyArriveIn) {
    struct Case {
        const char* what;
        Bytes in;
        Bytes data;
        std::vector<ComPortReply> answers;
    };
    const Case cases[] = {
        {"a doubled FF is one byte of the line", {0x01, 0xFF, 0xFF, 0x02}, {0x01, 0xFF, 0x02}, {}},
        {"commands are taken out",
         {0x01, 0xFF, 0xF1, 0x02, 0xFF, 0xF2, 0x03, 0xFF, 0xF9},
         {0x01, 0x02, 0x03},
         {}},
        {"a speed answer is kept with its value, FF unescaped",
         {0x7E, 0xFF, 0xFA, 44, 101, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xF0, 0x7F},
         {0x7E, 0x7F},
         {{101, {0x00, 0x00, 0xFF, 0x00}}}},
        {"other subnegotiations and unasked notices never reach the line",
         {0xFF, 0xFA, 24, 1, 0xFF, 0xF0, 0x05, 0xFF, 0xFA, 44, 107, 0x30, 0xFF, 0xF0},
         {0x05},
         {{107, {0x30}}}},
        {"option requests are taken out",
         {0xFF, 0xFB, 0x03, 0x10, 0xFF, 0xFD, 44, 0x11},
         {0x10, 0x11},
         {}},
    };
    for (const Case& c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{64}}) {
            SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(piece));
            TelnetCodec codec;
            const Decoded out = decode(codec, c.in, piece);
            EXPECT_EQ(out.data, c.data);
            EXPECT_EQ(out.answers, c.answers);
        }
    }
}

TEST(TelnetCodec, AnswersOnlyWhatIsNotSettledAndRefusesEcho) {
    // What a device server sends first: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY,
    // WILL BINARY, DO COM-PORT-OPTION.
    const Bytes serverGreeting{0xFF, 0xFB, 3,    0xFF, 0xFD, 3,    0xFF, 0xFB, 1,    0xFF, 0xFE,
                               1,    0xFF, 0xFD, 0,    0xFF, 0xFB, 0,    0xFF, 0xFD, 44};
    TelnetCodec afterOurs;
    afterOurs.greeting();
    EXPECT_EQ(decode(afterOurs, serverGreeting, 64).reply, (Bytes{0xFF, 0xFE, 1}));
    // Said again, only the refusal is repeated: confirmations are never answered, so the two
    // sides cannot keep answering each other.
    EXPECT_EQ(decode(afterOurs, serverGreeting, 64).reply, (Bytes{0xFF, 0xFE, 1}));

    TelnetCodec fresh;
    EXPECT_EQ(decode(fresh, serverGreeting, 64).reply,
              (Bytes{0xFF, 0xFD, 3, 0xFF, 0xFB, 3, 0xFF, 0xFE, 1, 0xFF, 0xFB, 0, 0xFF, 0xFD, 0,
                     0xFF, 0xFB, 44}));
    EXPECT_EQ(decode(fresh, Bytes{0xFF, 0xFD, 24}, 64).reply, (Bytes{0xFF, 0xFC, 24}));
}

TEST(NetAddress, NetworkPortNamesGiveTheirHostAndPort) {
    struct Case {
        const char* name;
        std::optional<NetAddress> address;
    };
    const Case cases[] = {
        {"tcp://board.local:4001", NetAddress{"board.local", 4001}},
        {"RFC2217://10.0.0.7:4002", NetAddress{"10.0.0.7", 4002}},
        {"rfc2217://[fd00::7]:65535", NetAddress{"fd00::7", 65535}},
        {"tcp://board.local", std::nullopt},
        {"tcp://board.local:", std::nullopt},
        {"tcp://:4001", std::nullopt},
        {"tcp://board.local:0", std::nullopt},
        {"tcp://board.local:65536", std::nullopt},
        {"tcp://board.local:40a1", std::nullopt},
        {"tcp://fd00::7:4001", std::nullopt},
        {"tcp://[fd00::7]4001", std::nullopt},
        {"tcp://[fd00::7:4001", std::nullopt},
        {"ttyUSB0", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseNetAddress(c.name), c.address) << c.name;
    }
}

}  // namespace
}  // namespace horalux::platform
