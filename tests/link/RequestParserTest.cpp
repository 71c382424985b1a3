#include "link/wire/RequestParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/wire/Frame.h"

namespace horalux::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes plainFrame(std::uint8_t address, std::uint8_t command, std::uint8_t p1, std::uint8_t p2) {
    RequestFrameBuilder builder;
    const auto frame = builder.plain(address, command, p1, p2);
    return {frame.begin(), frame.end()};
}

Bytes blockFrame(std::uint8_t address, std::uint8_t command, const Bytes& data) {
    RequestFrameBuilder builder;
    const auto frame = builder.withBlock(address, command, data);
    return {frame.begin(), frame.end()};
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// Feeds the stream in pieces of `chunk` bytes (0: all at once) and collects what comes out.
std::vector<Request> parse(const Bytes& stream, std::size_t chunk) {
    RequestParser parser;
    std::vector<Request> found;
    std::size_t at = 0;
    while (at < stream.size()) {
        const std::size_t end = chunk == 0 ? stream.size() : std::min(stream.size(), at + chunk);
        for (; at < end; ++at) {
            if (auto r = parser.push(stream[at])) {
                found.push_back(*r);
            }
        }
    }
    return found;
}

Request plainRequest(std::uint8_t address, std::uint8_t command, std::uint8_t p1, std::uint8_t p2) {
    return Request{address, command, p1, p2, false, {}};
}

Request blockRequest(std::uint8_t address, std::uint8_t command, const Bytes& data) {
    return Request{address,
                   command,
                   static_cast<std::uint8_t>(data.size() / 256),
                   static_cast<std::uint8_t>(data.size() % 256),
                   true,
                   data};
}

TEST(RequestParser, FindsEveryValidRequestWhateverTheStreamLooksLike) {
    const Bytes clock{0x07, 0x05, 0x09, 0x08, 0x01, 0x03, 0x09};
    Bytes corruptHeader = plainFrame(1, 0x74, 0x4D, 0);
    corruptHeader[108] ^= 0x01;
    Bytes corruptBlock = blockFrame(1, 0x70, clock);
    corruptBlock.back() ^= 0x01;
    Bytes startByteInBlock = clock;
    startByteInBlock[2] = 0xE0;
    const Bytes broadcast = plainFrame(255, 0x72, 76, 4);
    const Bytes noise{0x00, 0xE0, 0x00, 0x13, 0x55, 0x00, 0x00, 0xE0, 0x00};

    struct Case {
        std::string name;
        Bytes stream;
        std::vector<Request> expected;
    };
    const std::vector<Case> cases = {
        {"plain register read", plainFrame(1, 0x74, 0x4D, 0), {plainRequest(1, 0x74, 0x4D, 0)}},
        {"clock write with block", blockFrame(3, 0x70, clock), {blockRequest(3, 0x70, clock)}},
        {"empty block", blockFrame(2, 0x00, {}), {blockRequest(2, 0x00, {})}},
        {"noise before the frame",
         join({noise, plainFrame(7, 0x72, 66, 0xA0)}),
         {plainRequest(7, 0x72, 66, 0xA0)}},
        {"start byte inside a data block",
         join({blockFrame(1, 0x00, startByteInBlock), plainFrame(1, 0x60, 0, 14)}),
         {blockRequest(1, 0x00, startByteInBlock), plainRequest(1, 0x60, 0, 14)}},
        {"bad header checksum skipped",
         join({corruptHeader, plainFrame(1, 0x74, 0x4E, 0)}),
         {plainRequest(1, 0x74, 0x4E, 0)}},
        {"bad block checksum skipped",
         join({corruptBlock, plainFrame(1, 0x73, 0, 7)}),
         {plainRequest(1, 0x73, 0, 7)}},
        {"frame without preamble at the very start",
         Bytes(broadcast.begin() + 100, broadcast.end()),
         {plainRequest(255, 0x72, 76, 4)}},
        {"a reply header is no request",
         [] {
             const auto h = makeReplyHeader({1, 0, 0x74, 0x4D, 0});
             return Bytes(h.begin(), h.end());
         }(),
         {}},
    };
    for (const Case& c : cases) {
        for (const std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
            EXPECT_EQ(parse(c.stream, chunk), c.expected) << c.name << ", pieces of " << chunk;
        }
    }
}

TEST(RequestParser, CountsRejectedBlocksAndRefusesOverlongOnes) {
    RequestParser parser(4);
    Bytes stream = join({blockFrame(1, 0x00, {1, 2, 3, 4, 5}), blockFrame(1, 0x00, {1, 2})});
    stream.back() ^= 0xFF;
    std::size_t found = 0;
    for (const std::uint8_t b : stream) {
        found += parser.push(b).has_value() ? 1U : 0U;
    }
    EXPECT_EQ(found, 0U);
    EXPECT_EQ(parser.rejectedBlocks(), 2U);
}

TEST(RequestParser, ResetDropsAHalfReceivedBlock) {
    RequestParser parser;
    const Bytes frame = blockFrame(1, 0x70, {1, 2, 3, 4, 5, 6, 7});
    for (std::size_t i = 0; i < 113; ++i) {
        EXPECT_FALSE(parser.push(frame[i]).has_value());
    }
    EXPECT_TRUE(parser.inBlock());
    parser.reset();
    EXPECT_FALSE(parser.inBlock());
    std::optional<Request> found;
    for (const std::uint8_t b : plainFrame(1, 0x74, 1, 0)) {
        found = parser.push(b);
    }
    EXPECT_EQ(found, plainRequest(1, 0x74, 1, 0));
}

}  // namespace
}  // namespace horalux::link
