#include "BrisendoKit/Actions/ActionID.h"

#include <gtest/gtest.h>

#include <unordered_set>

using namespace pivorel;

TEST(ActionID, BuiltinsCustomAndStrangers) {
    EXPECT_TRUE(ActionID::openURL().isBuiltin());
    EXPECT_FALSE(ActionID::openURL().isCustom());

    const ActionID bare("custom:");
    EXPECT_TRUE(bare.isCustom());
    EXPECT_FALSE(bare.isBuiltin());
    EXPECT_EQ(bare.defaultOrder(), ActionID::builtins().size());

    // The prefix is case-sensitive: this one is neither, and is still carried and shown.
    const ActionID stranger("Custom:abc");
    EXPECT_FALSE(stranger.isCustom());
    EXPECT_FALSE(stranger.isBuiltin());
    EXPECT_EQ(stranger.defaultOrder(), ActionID::builtins().size());
    EXPECT_EQ(stranger.title(), "自定义动作");
    EXPECT_EQ(stranger.symbol(), "link");
    EXPECT_FALSE(ActionID("Ask").isBuiltin());

    std::unordered_set<ActionID> set(ActionID::builtins().begin(), ActionID::builtins().end());
    set.insert(ActionID("ask"));
    EXPECT_EQ(set.size(), ActionID::builtins().size());
}
