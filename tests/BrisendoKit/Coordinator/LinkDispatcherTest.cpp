#include "BrisendoKit/Coordinator/LinkDispatcher.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Coordinator/Harness.h"

using namespace pivorel;

namespace {

using Rows = std::vector<std::vector<std::string>>;

struct LinkDispatcherTest : ::testing::Test {
    test::Harness h;
    LinkDispatcher links{h.controller, *h.store, h.workspace, h.clock};
};

}  // namespace

TEST_F(LinkDispatcherTest, CloseTakesBothAwayAndMissLogsATestMiss) {
    h.controller.handle(test::request("panel text"), {100, 100});
    ASSERT_TRUE(h.panelWindow.visible);
    links.dispatch("pivorel://close\n");
    EXPECT_FALSE(h.panelWindow.visible);
    EXPECT_EQ(h.panel.lastCloseReason(), "url-close");
    h.select("bar text");
    ASSERT_TRUE(h.barWindow.visible);
    links.dispatch("brisendo://close");
    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.controller.barContext());

    const int stats = h.statsChanges;
    links.dispatch("pivorel://miss");
    links.dispatch("pivorel://miss?app=com.apple.Safari&reason=no%20text&dry=0");
    links.dispatch("pivorel://miss?dry=false&reason=");
    EXPECT_EQ(h.rows("SELECT event, app, reason, latency_ms, dry FROM bar_log WHERE event='miss'"),
              (Rows{{"miss", "NULL", "probe", "NULL", "1"},
                    {"miss", "com.apple.Safari", "no text", "NULL", "0"},
                    {"miss", "NULL", "probe", "NULL", "1"}}));
    EXPECT_EQ(h.statsChanges, stats + 3);
}

TEST_F(LinkDispatcherTest, SelectOpensThePanelAtThePointerAndNeverPerforms) {
    h.workspace.pointer = {640, 480};
    h.useActions({"copy", "google", "openURL"});
    links.dispatch("pivorel://select?text=https%3A%2F%2Fexample.com&app=firefox-esr&src=raycast");
    ASSERT_TRUE(h.panelWindow.visible);
    EXPECT_EQ(h.panelWindow.frame().origin(), h.panelOriginNear({640, 480}));
    EXPECT_TRUE(h.panel.model()->mode().isList());
    EXPECT_EQ(h.rows("SELECT text, app, source, dry, chosen FROM selections"),
              (Rows{{"https://example.com", "firefox-esr", "raycast", "0", "NULL"}}));
    EXPECT_TRUE(h.workspace.opened.empty());
    EXPECT_TRUE(h.pasteboard.items.empty());

    // A dry link is recorded and shows nothing.
    h.panel.close("esc");
    links.dispatch("PIVOREL://SELECT?text=probe&dry=TRUE");
    EXPECT_FALSE(h.panelWindow.visible);
    EXPECT_EQ(h.rows("SELECT text, source, dry FROM selections WHERE id=2"),
              (Rows{{"probe", "popclip", "1"}}));
}

TEST_F(LinkDispatcherTest, BadLinksAreLoggedAndIgnored) {
    links.dispatch("pivorel://CLOSE");
    links.dispatch("https://select?text=hi");
    links.dispatch("brisendo://select?text=%20%20");
    links.dispatch(
        "pivorel://sel\x01"
        "ect?text=x");
    links.dispatch("no scheme at all");
    EXPECT_TRUE(h.log.contains("Pivorel: 忽略无效链接 pivorel://CLOSE (unknownHost(close))"));
    EXPECT_TRUE(h.log.contains("Pivorel: 忽略无效链接 https://select (wrongScheme)"));
    EXPECT_TRUE(h.log.contains("Pivorel: 忽略无效链接 brisendo://select (emptyText)"));
    EXPECT_TRUE(
        h.log.contains("Pivorel: 忽略无效链接 pivorel://sel%01ect (unknownHost(sel%01ect))"));
    EXPECT_TRUE(h.log.contains("Pivorel: 忽略无效链接 :// (wrongScheme)"));
    EXPECT_FALSE(h.panelWindow.visible);
    EXPECT_EQ(h.rows("SELECT count(*) FROM selections"), (Rows{{"0"}}));
}
