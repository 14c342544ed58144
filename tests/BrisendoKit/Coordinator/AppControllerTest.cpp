#include "BrisendoKit/Coordinator/AppController.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "BrisendoKit/Actions/ActionAvailability.h"
#include "BrisendoKit/Coordinator/Harness.h"
#include "BrisendoKit/Coordinator/LinkDispatcher.h"
#include "BrisendoKit/Localization/L.h"

using namespace pivorel;
using test::Rows;

namespace {

struct AppControllerTest : ::testing::Test {
    test::Harness h;
};

struct LinkDispatcherTest : AppControllerTest {
    LinkDispatcher links{h.controller, h.workspace};
    // What the sender hears once the link is carried out, or "no answer".
    std::optional<std::string> send(std::string_view link) {
        std::optional<std::optional<std::string>> heard;
        links.dispatch(link, [&](std::optional<std::string> refusal) { heard = refusal; });
        if (h.writer) h.writer->flush();
        h.queue.runReady();
        return heard.value_or(std::optional<std::string>("no answer"));
    }
};

}  // namespace

TEST_F(AppControllerTest, ABarClickRecordsItsRankInTheFullRankingAndCopyNoticesAtTheBar) {
    h.useActions(ActionConfig::defaultOrderStrings(), /*smart=*/true, /*barCount=*/3);
    h.select("今天 的会议\n改到下午");
    ASSERT_TRUE(h.barWindow.visible);
    const auto context = *h.controller.barContext();
    const auto copyAt = std::find(context.ranking.begin(), context.ranking.end(), ActionID::copy());
    ASSERT_GT(copyAt - context.ranking.begin(), 2) << "copy must rank below the bar for this case";
    EXPECT_EQ(h.barActions().at(2), "copy");  // kept on the bar, in its last place
    const auto stats = h.statsChanges;

    const Point anchor = h.bar.contentOrigin();
    auto barModel = h.bar.model();
    barModel->chosen.emit(2);
    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.watcher.detector().isBarVisible());
    const auto record = h.store->record(context.id).value();
    EXPECT_EQ(record->chosen, ActionID::copy());
    EXPECT_EQ(record->chosenRank, copyAt - context.ranking.begin() + 1);
    EXPECT_EQ(h.statsChanges, stats + 1);

    // The text as the request has it, inner line break and all; the notice comes up where
    // the bar was and goes away by itself.
    EXPECT_EQ(h.pasteboard.string(), "今天 的会议\n改到下午");
    EXPECT_EQ(h.notice(), L("已复制"));
    EXPECT_EQ(h.panelWindow.frame().origin(), h.panelOriginNear(anchor));
    h.expectClosesAfter(1.4);
    EXPECT_TRUE(h.log.contains("Pivorel: 面板关闭 reason=notice-timeout"));

    barModel->chosen.emit(0);  // a late click on the old bar does nothing
    EXPECT_EQ(h.store->record(context.id).value()->chosen, ActionID::copy());
}

TEST_F(AppControllerTest, MoreOpensTheListWhereTheBarWasAndANewSelectionClosesIt) {
    h.useActions({"google", "lookup", "copy", "kagi"});
    h.select("serendipity");
    ASSERT_TRUE(h.barWindow.visible);
    const auto context = *h.controller.barContext();
    const Point anchor = h.bar.contentOrigin();
    h.bar.model()->moreChosen.emit();

    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.watcher.detector().isBarVisible());
    ASSERT_TRUE(h.panelWindow.visible);
    const auto& rows = h.panel.model()->rows();
    ASSERT_EQ(rows.size(), std::min(context.ranking.size(), PanelModel::maxRows));
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].action, context.ranking[i]);
    EXPECT_EQ(h.panelWindow.frame().origin(), h.panelOriginNear(anchor));
    EXPECT_FALSE(h.store->record(context.id).value()->chosen);

    // Row 3 of the panel is recorded as rank 3, whatever the bar showed.
    h.panel.model()->choose(2);
    EXPECT_EQ(h.store->record(context.id).value()->chosen, ActionID::copy());
    EXPECT_EQ(h.store->record(context.id).value()->chosenRank, 3);

    h.controller.handle(test::request("another text", h.app), {100, 700});
    h.select("next one");  // a new bar closes the panel
    EXPECT_TRUE(h.barWindow.visible && !h.panelWindow.visible);
    EXPECT_TRUE(h.log.contains("Pivorel: 面板关闭 reason=bar-shown"));
}

TEST_F(AppControllerTest, ActionsMissingOnThisDesktopAreSkippedSoTheNextOnesMoveUp) {
    ActionAvailability availability;
    h.controller.setAvailability(&availability);
    h.useActions({"lookup", "dayOne", "google", "calendar", "kagi", "copy"}, false, 3);
    const struct {
        std::set<ActionID> missing;
        std::vector<std::string> first;  // the bar, then the list's next row
    } cases[] = {
        {{}, {"lookup", "dayOne", "google", "calendar"}},
        {{ActionID::lookup()}, {"dayOne", "google", "calendar", "kagi"}},
        {ActionAvailability::missing({false, false, false}), {"google", "kagi", "copy", "ask"}},
    };
    for (const auto& c : cases) {
        availability.setUnavailable(c.missing);
        h.select("word");
        EXPECT_EQ(h.barActions(), std::vector(c.first.begin(), c.first.begin() + 3));
        h.bar.model()->moreChosen.emit();
        std::vector<std::string> rows;
        for (const auto& row : h.panel.model()->rows()) rows.push_back(row.action.rawValue);
        rows.resize(4);
        EXPECT_EQ(rows, c.first);
    }
}

TEST_F(AppControllerTest, ASelectionFromAHiddenPageIsShownButNothingOfItIsStored) {
    h.useActions({"copy", "google"});
    h.accessibility.hidden = true;
    h.select("maybe a password");
    ASSERT_TRUE(h.barWindow.visible);
    h.bar.model()->chosen.emit(0);
    EXPECT_EQ(h.pasteboard.string(), "maybe a password");
    EXPECT_TRUE(h.rows("SELECT * FROM selections").empty());
    EXPECT_TRUE(h.rows("SELECT * FROM archives").empty());
    EXPECT_EQ(h.rows("SELECT event FROM bar_log").size(), 1u);
}

TEST_F(AppControllerTest, NoBarOrPanelForASelectionTheStoreRefuses) {
    h.rows("SELECT 1");  // the database file exists
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(h.store->path().c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "DROP TABLE selections", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    h.select("hello");
    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.watcher.detector().isBarVisible());
    EXPECT_TRUE(h.rows("SELECT * FROM bar_log").empty());
    EXPECT_EQ(h.statsChanges, 1);  // told anyway: the statistics may have moved
    EXPECT_FALSE(h.controller.handle(test::request("hello"), {10, 10}));
    EXPECT_FALSE(h.panelWindow.visible);
    // The link's sender hears that nothing was stored.
    std::optional<std::string> heard;
    LinkDispatcher(h.controller, h.workspace)
        .dispatch("pivorel://select?text=hello", [&](auto refusal) { heard = refusal; });
    EXPECT_EQ(heard, "not stored");
}

TEST_F(LinkDispatcherTest, CloseTakesBothAwayAndMissLogsATestMiss) {
    h.controller.handle(test::request("panel text"), {100, 100});
    ASSERT_TRUE(h.panelWindow.visible);
    send("pivorel://close\n");
    EXPECT_FALSE(h.panelWindow.visible);
    EXPECT_EQ(h.panel.lastCloseReason(), "url-close");
    h.select("bar text");
    ASSERT_TRUE(h.barWindow.visible);
    send("brisendo://close");
    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.controller.barContext());

    const int stats = h.statsChanges;
    send("pivorel://miss");
    send("pivorel://miss?app=com.apple.Safari&reason=no%20text&dry=0");
    send("pivorel://miss?dry=false&reason=");
    EXPECT_EQ(h.rows("SELECT event, app, reason, latency_ms, dry FROM bar_log WHERE event='miss'"),
              (Rows{{"miss", "NULL", "probe", "NULL", "1"},
                    {"miss", "com.apple.Safari", "no text", "NULL", "0"},
                    {"miss", "NULL", "probe", "NULL", "1"}}));
    EXPECT_EQ(h.statsChanges, stats + 3);
}

TEST_F(LinkDispatcherTest, SelectOpensThePanelAtThePointerAndNeverPerforms) {
    h.workspace.pointer = {640, 480};
    h.useActions({"copy", "google", "openURL"});
    EXPECT_EQ(send("pivorel://select?text=https%3A%2F%2Fexample.com&app=firefox-esr&src=raycast"),
              std::nullopt);
    ASSERT_TRUE(h.panelWindow.visible);
    EXPECT_FALSE(h.panelWindow.key);  // until the user points at it
    EXPECT_EQ(h.panelWindow.frame().origin(), h.panelOriginNear({640, 480}));
    EXPECT_TRUE(h.panel.model()->mode().isList());
    EXPECT_EQ(h.rows("SELECT text, app, source, dry, chosen FROM selections"),
              (Rows{{"https://example.com", "firefox-esr", "raycast", "0", "NULL"}}));
    EXPECT_TRUE(h.workspace.opened.empty());
    EXPECT_TRUE(h.pasteboard.items.empty());

    // A dry link is recorded and shows nothing.
    h.panel.close("esc");
    send("PIVOREL://SELECT?text=probe&dry=TRUE&src=" + std::string(100, 's'));
    EXPECT_FALSE(h.panelWindow.visible);
    EXPECT_EQ(h.rows("SELECT text, source, dry FROM selections WHERE id=2"),
              (Rows{{"probe", std::string(64, 's'), "1"}}));
}

TEST_F(LinkDispatcherTest, BadLinksAreLoggedAndIgnored) {
    for (auto [link, logged] : {std::pair{"pivorel://sel\x01"
                                          "ect?text=x",
                                          "pivorel://sel%01ect (unknownHost(sel%01ect))"},
                                {"brisendo://select?text=%20%20", "brisendo://select (emptyText)"},
                                {"no scheme at all", ":// (wrongScheme)"}}) {
        EXPECT_TRUE(send(link)) << link;
        EXPECT_TRUE(h.log.contains(std::string("Pivorel: 忽略无效链接 ") + logged)) << link;
    }
    EXPECT_FALSE(h.panelWindow.visible);
    EXPECT_EQ(h.rows("SELECT count(*) FROM selections"), (Rows{{"0"}}));
}

TEST_F(LinkDispatcherTest,
       InTheBackgroundALinkIsAnsweredOnceStoredAndRefusedWhileTheHistoryIsBusy) {
    h.writeInTheBackground();
    EXPECT_EQ(send("pivorel://select?text=stored"), std::nullopt);
    EXPECT_TRUE(h.panelWindow.visible);
    EXPECT_EQ(h.rows("SELECT text FROM selections"), (Rows{{"stored"}}));
    h.panel.close("esc");

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(h.store->path().c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    EXPECT_EQ(send("pivorel://select?text=refused"), "not stored: sql(database is locked)");
    EXPECT_FALSE(h.panelWindow.visible);
    // A gesture still gets its bar at once, and its rows land once the lock is gone.
    h.select("kept");
    EXPECT_TRUE(h.barWindow.visible);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(h.writer->flush());
    EXPECT_EQ(h.rows("SELECT text FROM selections ORDER BY id"), (Rows{{"stored"}, {"kept"}}));
    EXPECT_EQ(h.rows("SELECT event FROM bar_log"), (Rows{{"shown"}}));
}
