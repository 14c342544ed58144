#include "BrisendoKit/Support/Signal.h"

#include <gtest/gtest.h>

#include <optional>

using namespace pivorel;

TEST(Signal, SlotsMayDisconnectDuringEmitAndConnectionsMayOutliveTheSignal) {
    Connection late;
    std::vector<int> calls;
    {
        Signal<int> s;
        Connection second;
        Connection first = s.connect([&](int v) {
            calls.push_back(v);
            second.reset();  // the later slot must not run any more
        });
        second = s.connect([&](int v) { calls.push_back(100 + v); });
        late = s.connect([&](int v) { calls.push_back(1000 + v); });
        s.emit(1);
        first.reset();
        s.emit(2);
        EXPECT_EQ(s.size(), 1u);
    }
    late.reset();  // the signal is gone: must not crash
    EXPECT_EQ(calls, (std::vector<int>{1, 1001, 1002}));
}
