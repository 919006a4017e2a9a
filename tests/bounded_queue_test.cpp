// The queue between the stages of a video job: order kept, producers and consumers released
// when it closes, full or empty.
#include "core/bounded_queue.hpp"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

namespace glintara {
namespace {

TEST(BoundedQueue, KeepsTheOrderBetweenTwoThreadsThroughASmallQueue) {
    BoundedQueue<int> queue(3);
    std::jthread producer([&] {
        for (int i = 0; i < 2000; ++i) {
            ASSERT_TRUE(queue.push(i));
        }
        queue.close();
    });
    std::vector<int> taken;
    while (std::optional<int> item = queue.pop()) {
        taken.push_back(*item);
    }
    ASSERT_EQ(taken.size(), 2000u);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(taken[static_cast<std::size_t>(i)], i);
    }
}

TEST(BoundedQueue, ClosingReleasesAProducerWaitingOnAFullQueueAndAConsumerOnAnEmptyOne) {
    BoundedQueue<int> full(1);
    ASSERT_TRUE(full.push(1));
    EXPECT_FALSE(full.tryPush(2)) << "a full queue took another item";
    auto producer = std::async(std::launch::async, [&] { return full.push(2); });

    BoundedQueue<int> empty(1);
    EXPECT_FALSE(empty.tryPop());
    auto consumer = std::async(std::launch::async, [&] { return empty.pop(); });

    full.close();
    empty.close();
    EXPECT_FALSE(producer.get()) << "an item went into a full queue after it closed";
    EXPECT_FALSE(consumer.get().has_value());
    // What was in before the close can still be taken, and nothing more goes in.
    EXPECT_EQ(full.pop(), 1);
    EXPECT_FALSE(full.pop().has_value());
    EXPECT_FALSE(full.push(3));
    EXPECT_FALSE(full.tryPush(3));
}

}  // namespace
}  // namespace glintara
