#include "link/exchange/RequestRing.h"

#include <gtest/gtest.h>

#include <array>

#include "support/FakeTick.h"
#include "support/RecordingPrompts.h"

namespace horalux::link {
namespace {

class RequestRingTest : public ::testing::Test {
  protected:
    bool queue(std::uint8_t address, std::int32_t tries, std::uint8_t param1 = 0) {
        return QueueRequest(ring, tick, prompts, address, 1000, tries, 0x74, param1, 0);
    }
    RequestRing ring;
    test::FakeTick tick{5000};
    test::RecordingPrompts prompts;
};

TEST_F(RequestRingTest, BuildsRequestsDueNowAndAwaitingAReplyOnlyWhenOneCanCome) {
    const std::array<std::uint8_t, 3> block{1, 2, 3};
    ASSERT_TRUE(QueueRequest(ring, tick, prompts, 1, 3000, 3, 0x00, 0, 3, block));
    ASSERT_TRUE(queue(255, 3));
    ASSERT_TRUE(queue(5, 0));

    const BoardRequest first = *ring.current();
    EXPECT_EQ(first.nextSendTick, 5000U);
    EXPECT_EQ(first.retryInterval, 3000U);
    EXPECT_EQ(first.triesLeft, 3);
    EXPECT_TRUE(first.expectsReply);
    EXPECT_FALSE(first.failed);
    ASSERT_TRUE(first.data.has_value());
    EXPECT_EQ(*first.data, (std::vector<std::uint8_t>{1, 2, 3}));
    ring.advance();
    EXPECT_FALSE(ring.current()->expectsReply) << "to all boards";
    ring.advance();
    EXPECT_FALSE(ring.current()->expectsReply) << "tries 0";
    EXPECT_FALSE(ring.current()->data.has_value());
}

TEST_F(RequestRingTest, RefusesThe151stRequestAndKeepsThePendingOnes) {
    for (int i = 0; i < 150; ++i) {
        ASSERT_TRUE(queue(1, 3, static_cast<std::uint8_t>(i)));
    }
    EXPECT_FALSE(queue(1, 3, 200));
    EXPECT_EQ(prompts.said(),
              std::vector<std::string>{"error: Очередь запросов переполнена, запрос не поставлен"});
    EXPECT_EQ(ring.pendingCount(), 150U);
    for (int i = 0; i < 150; ++i) {
        ASSERT_NE(ring.current(), nullptr);
        EXPECT_EQ(ring.current()->param1, i);
        ring.advance();
    }
    EXPECT_TRUE(ring.empty());
    EXPECT_TRUE(queue(1, 3)) << "room again once the requests are taken";
}

TEST_F(RequestRingTest, KeepsOrderAcrossTheEndOfTheSlots) {
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(queue(1, 3, static_cast<std::uint8_t>(i)));
        }
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(ring.current()->param1, i);
            ring.advance();
        }
    }
    EXPECT_TRUE(ring.empty());
    ring.advance();
    EXPECT_TRUE(ring.empty()) << "moving on from an empty ring changes nothing";
    EXPECT_EQ(ring.pendingCount(), 0U);
}

TEST_F(RequestRingTest, RevivesOnlyAFailedCurrentRequestWithFiveTriesOneIntervalOn) {
    EXPECT_FALSE(reviveFailedRequest(ring, 0)) << "empty ring";
    ASSERT_TRUE(queue(1, 3));
    EXPECT_FALSE(reviveFailedRequest(ring, 0)) << "not failed";
    BoardRequest& current = *ring.current();
    current.triesLeft = 0;
    current.failed = true;
    EXPECT_TRUE(reviveFailedRequest(ring, 0xFFFFFF00U));
    EXPECT_EQ(current.triesLeft, 5);
    EXPECT_FALSE(current.failed);
    EXPECT_EQ(current.nextSendTick, 0xFFFFFF00U + 1000U) << "wraps with the tick";
}

}  // namespace
}  // namespace horalux::link
