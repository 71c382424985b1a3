#include <gtest/gtest.h>

#include <thread>

#include "link/exchange/RequestRing.h"

namespace horalux::link {
namespace {

// The main thread queues while the exchange thread takes, the ring wrapping many times over;
// run under ThreadSanitizer, this checks the cursors' publication as well as the order.
TEST(RequestRingThreads, EveryRequestArrivesOnceAndInOrderWhileTheRingWraps) {
    RequestRing ring;
    constexpr int kRequests = 20 * static_cast<int>(RequestRing::kSlots);
    std::thread consumer([&] {
        int expected = 0;
        while (expected < kRequests) {
            BoardRequest* request = ring.current();
            if (request == nullptr) {
                std::this_thread::yield();
                continue;
            }
            const int got = request->param1 * 256 + request->param2;
            EXPECT_EQ(got, expected);
            EXPECT_EQ(request->data.value_or(std::vector<std::uint8_t>{}).size(),
                      static_cast<std::size_t>(got % 7));
            ++expected;
            ring.advance();
        }
    });
    for (int i = 0; i < kRequests;) {
        BoardRequest request;
        request.param1 = static_cast<std::uint8_t>(i / 256);
        request.param2 = static_cast<std::uint8_t>(i % 256);
        request.data.emplace(static_cast<std::size_t>(i % 7), std::uint8_t{0xAA});
        if (ring.push(request)) {
            ++i;
        } else {
            std::this_thread::yield();
        }
    }
    consumer.join();
    EXPECT_TRUE(ring.empty());
}

}  // namespace
}  // namespace horalux::link
