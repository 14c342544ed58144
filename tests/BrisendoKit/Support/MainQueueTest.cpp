#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "BrisendoKit/Support/Log.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;

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
