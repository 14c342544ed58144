#include "BrisendoKit/Actions/ActionCatalog.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Actions/ActionID.h"

using namespace pivorel;

namespace {
CustomAction action(std::string id, std::string urlTemplate, std::string name = "名字") {
    return CustomAction{std::move(id), std::move(name), "star", std::move(urlTemplate), {}};
}
}  // namespace

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
