#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "BrisendoKit/Support/Log.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;

TEST(ManualMainQueue, RunsTasksAtTheirVirtualTimesInOrder) {
    test::VirtualClock clock;
    test::ManualMainQueue queue(clock);
    const auto start = clock.now();
    std::vector<std::string> order;
    queue.postAfter(0.25, [&] { order.push_back("retry"); });
    queue.postAfter(0.08, [&] {
        order.push_back("read");
        EXPECT_NEAR(secondsBetween(start, clock.now()), 0.08, 1e-9);
        queue.post([&] { order.push_back("result"); });
    });
    queue.post([&] { order.push_back("now"); });

    EXPECT_EQ(queue.runReady(), 1u);
    EXPECT_EQ(queue.advance(0.1), 2u);
    EXPECT_EQ(order, (std::vector<std::string>{"now", "read", "result"}));
    queue.advance(1);
    EXPECT_EQ(order.back(), "retry");
    EXPECT_NEAR(secondsBetween(start, clock.now()), 1.1, 1e-9);
}

TEST(ManualMainQueue, AcceptsPostsFromWorkerThreads) {
    test::VirtualClock clock;
    test::ManualMainQueue queue(clock);
    int value = 0;
    std::thread worker([&] { queue.post([&] { value = 42; }); });
    ASSERT_TRUE(queue.waitForPost(std::chrono::seconds(5)));
    worker.join();
    queue.runReady();
    EXPECT_EQ(value, 42);
}

TEST(Log, CaptureSeesLinesAndRestoresTheSink) {
    {
        LogCapture capture;
        Log::write("Pivorel: 面板关闭 reason=esc");
        EXPECT_TRUE(capture.contains("reason=esc"));
        {
            LogCapture inner;
            Log::write("inner");
            EXPECT_FALSE(capture.contains("inner"));
        }
        Log::write("outer again");
        EXPECT_TRUE(capture.contains("outer again"));
    }
}

TEST(Clock, UnixSecondsRoundTripAndClampGarbage) {
    EXPECT_DOUBLE_EQ(toUnixSeconds(fromUnixSeconds(1700000000.25)), 1700000000.25);
    EXPECT_NO_THROW(fromUnixSeconds(1e300));
    EXPECT_EQ(toUnixSeconds(fromUnixSeconds(std::nan(""))), 0.0);
}
