#include "BrisendoKit/Actions/ActionCatalog.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "BrisendoKit/Actions/ActionID.h"

using namespace pivorel;

namespace {
CustomAction action(std::string id, std::string urlTemplate, std::string name = "名字") {
    return CustomAction{std::move(id), std::move(name), "star", std::move(urlTemplate), {}};
}
}  // namespace

TEST(ActionCatalog, CustomActionsShowTheirOwnNameAndSymbol) {
    ActionConfig config;
    config.custom = {action("custom:a", "https://www.douban.com/search?q={text}", "搜豆瓣"),
                     action("custom:a", "https://second.example/?q={text}", "第二个")};
    const ActionCatalog catalog(config);
    EXPECT_EQ(catalog.title(ActionID("custom:a")), "搜豆瓣");  // the first of equal ids wins
    EXPECT_EQ(catalog.shortTitle(ActionID("custom:a")), "搜豆瓣");
    EXPECT_EQ(catalog.symbol(ActionID("custom:a")), "star");
    EXPECT_EQ(catalog.title(ActionID("custom:unknown")), "自定义动作");
}

TEST(ActionCatalog, HintNamesTheHostWhenThereIsOne) {
    ActionConfig config;
    config.custom = {
        action("custom:web", "https://www.douban.com/search?q={text}"),
        action("custom:app", "myapp:///search?q={text}"),
        action("custom:apphost", "bear://x-callback-url/search?term={text}"),
        action("custom:port", " https://user@example.org:8080/s?q={text} "),
        action("custom:broken", "not a url {text}"),
    };
    const ActionCatalog catalog(config);
    EXPECT_EQ(catalog.hint(ActionID("custom:web")), "自定义 · www.douban.com");
    EXPECT_EQ(catalog.hint(ActionID("custom:app")), "自定义");
    EXPECT_EQ(catalog.hint(ActionID("custom:apphost")), "自定义 · x-callback-url");
    EXPECT_EQ(catalog.hint(ActionID("custom:port")), "自定义 · example.org");
    EXPECT_EQ(catalog.hint(ActionID("custom:broken")), "自定义");
    EXPECT_EQ(catalog.hint(ActionID::google()), std::nullopt);
    EXPECT_EQ(catalog.hint(ActionID("custom:missing")), std::nullopt);
}

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
