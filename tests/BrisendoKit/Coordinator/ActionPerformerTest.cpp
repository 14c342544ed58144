#include "BrisendoKit/Coordinator/ActionPerformer.h"
#include "BrisendoKit/Support/Calendar.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Coordinator/Harness.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "BrisendoKit/LanguageModel/ChatServer.h"
#include "BrisendoKit/Localization/L.h"

using namespace pivorel;

namespace {

using Rows = std::vector<std::vector<std::string>>;

struct ActionPerformerTest : ::testing::Test {
    test::Harness h;

    // Opens the panel for `text` as the hot key does and chooses `action` in its list.
    void choose(const std::string& text, const ActionID& action) {
        h.controller.handle(test::request(text, test::Harness::app), {200, 600});
        const auto model = h.panel.model();
        ASSERT_TRUE(model);
        for (std::size_t i = 0; i < model->rows().size(); ++i) {
            if (model->rows()[i].action == action)
                return model->choose(static_cast<std::int64_t>(i));
        }
        FAIL() << action.rawValue << " is not in the list";
    }
    // Runs the main queue until a worker thread's result has been handled.
    bool settle(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            h.queue.runReady();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // The panel stays up until just before `seconds` have passed.
    void expectClosesAfter(double seconds) {
        h.queue.advance(seconds - 0.01);
        EXPECT_TRUE(h.panelWindow.visible);
        h.queue.advance(0.02);
        EXPECT_FALSE(h.panelWindow.visible);
    }
};

CustomAction custom(std::string id, std::string name, std::string urlTemplate) {
    return {"custom:" + id, std::move(name), "magnifyingglass", std::move(urlTemplate), {}};
}

}  // namespace

TEST_F(ActionPerformerTest, AskAndTranslateStreamIntoThePanelAndAreArchived) {
    test::ChatServer server;
    server.reply(test::ChatServer::answer({"意外", "发现"}));
    server.reply(test::ChatServer::answer({"Serendipity"}));
    h.defaults->set("llmBaseURL", server.baseURL());
    h.defaults->set("llmModel", "test-model");
    ASSERT_TRUE(Credentials(h.secrets).set("sk-test", Credentials::llmAccount));
    h.useActions({"ask", "translate", "copy"});

    h.select("serendipity");
    const Point anchor = h.bar.contentOrigin();
    const auto id = h.controller.barContext()->id;
    h.bar.model()->chosen.emit(0);
    ASSERT_TRUE(h.panelWindow.visible);
    const auto model = h.panel.model();
    EXPECT_EQ(model->mode(), PanelMode::ask(AskKind::ask));
    EXPECT_EQ(h.panelWindow.frame().origin(), h.panelOriginNear(anchor));
    ASSERT_TRUE(test::pumpUntil(h.queue, [&] { return !model->ask->isStreaming(); }));
    EXPECT_EQ(model->ask->lastAnswer(), "意外发现");
    EXPECT_EQ(server.requests().at(0).authorization, "Bearer sk-test");
    EXPECT_NE(server.requests().at(0).body.find("serendipity"), std::string::npos);
    EXPECT_NE(server.requests().at(0).body.find("test-model"), std::string::npos);

    // A new selection and a key press elsewhere leave the conversation alone.
    h.select("something else");
    h.event(GestureEvent::keyDownType, {0, 0}, 0, 0);
    h.queue.advance(0.5);
    EXPECT_FALSE(h.barWindow.visible);
    EXPECT_FALSE(h.watcher.detector().isBarVisible());
    EXPECT_EQ(h.panel.model(), model);
    EXPECT_EQ(h.rows("SELECT count(*) FROM selections"), (Rows{{"1"}}));
    EXPECT_EQ(h.rows("SELECT count(*) FROM bar_log"), (Rows{{"1"}}));

    model->ask->archive();
    EXPECT_EQ(h.rows("SELECT selection_id, kind FROM archives"),
              (Rows{{std::to_string(id), "ask"}}));

    // Translation chosen in the list goes through the router to the user's model.
    h.panel.close("esc");
    choose("serendipity", ActionID::translate());
    const auto translation = h.panel.model();
    ASSERT_TRUE(translation && translation->ask);
    EXPECT_EQ(translation->mode(), PanelMode::ask(AskKind::translate));
    ASSERT_TRUE(test::pumpUntil(h.queue, [&] { return !translation->ask->isStreaming(); }));
    EXPECT_EQ(translation->ask->lastAnswer(), "Serendipity");
    translation->ask->archive();
    EXPECT_EQ(h.rows("SELECT kind FROM archives ORDER BY id"), (Rows{{"ask"}, {"translate"}}));
}

TEST_F(ActionPerformerTest, CutAndPasteTellTheOutcomeWhereTheUserLooks) {
    h.accessibility.menus[{test::Harness::app, 'V'}] = false;  // a read-only field
    h.accessibility.menus[{test::Harness::app, 'X'}] = true;
    h.useActions({"paste", "cut", "copy"});

    h.select("read only");
    const Point anchor = h.bar.contentOrigin();
    h.bar.model()->chosen.emit(0);
    EXPECT_EQ(h.notice(), L("这里不能粘贴（只读内容）"));
    EXPECT_EQ(h.panelWindow.frame().origin(), h.panelOriginNear(anchor));
    expectClosesAfter(2.5);

    // From the panel, which closes first: the failure at the pointer, the success silent.
    h.workspace.pointer = {700, 300};
    choose("read only", ActionID::paste());
    EXPECT_TRUE(h.log.contains("Pivorel: 面板关闭 reason=action-opened"));
    EXPECT_EQ(h.notice(), L("这里不能粘贴（只读内容）"));
    EXPECT_EQ(h.panelWindow.frame().origin(), h.panelOriginNear({700, 300}));
    expectClosesAfter(4.5);

    choose("editable", ActionID::cut());
    EXPECT_EQ(h.accessibility.presses.back(), std::make_pair(std::string(test::Harness::app), 'X'));
    EXPECT_FALSE(h.panelWindow.visible);
}

TEST_F(ActionPerformerTest, LinksOpenOrSayWhatIsMissing) {
    const auto wiki = custom("5f0c3a86-0d6b-4f43-9a8e-2b1c7d0e9a11", "Wiki",
                             "https://zh.wikipedia.org/w/index.php?search={text}");
    const auto broken =
        custom("6a1d4b97-1e7c-4054-8b9f-3c2d8e1fab22", "Broken", "javascript:{text}");
    const auto zotero =
        custom("7b2e5ca8-2f8d-4165-9ca0-4d3e9f20bc33", "Zotero", "zotero://s?q={text}");
    h.useActions({"lookup", "dayOne", wiki.id, broken.id, zotero.id}, false, 4,
                 {wiki, broken, zotero});

    std::string longText = "  ";
    for (int i = 0; i < 150; ++i) longText += "词 ";
    choose(longText, ActionID::lookup());
    std::string expected = "dict://";
    for (int i = 0; i < 100; ++i) expected += "词%20";
    EXPECT_EQ(h.workspace.opened.back(), expected);
    EXPECT_FALSE(h.panelWindow.visible);

    choose("C++ 教程", ActionID(wiki.id));
    EXPECT_EQ(h.workspace.opened.back(),
              "https://zh.wikipedia.org/w/index.php?search=C%2B%2B%20%E6%95%99%E7%A8%8B");

    for (auto [action, notice] :
         {std::pair{ActionID(broken.id),
                    L("「%@」的 URL 模板无效，请到设置 → 动作里修改", "Broken")},
          {ActionID(zotero.id), L("没有能打开这个链接的 App")},
          {ActionID::dayOne(), L("没有找到 Day One")}}) {
        choose("x", action);
        EXPECT_EQ(h.notice(), notice);
    }
    h.queue.advance(3.01);
    EXPECT_FALSE(h.panelWindow.visible);

    // An action the configuration no longer has.
    h.controller.handle(test::request("x"), {200, 600});
    h.performer.perform(ActionID("custom:0d9e8c7b-0000-4000-8000-000000000000"), test::request("x"),
                        *h.controller.currentRecordID(), h.panel.model());
    EXPECT_EQ(h.notice(), L("这个自定义动作已被删除"));
    EXPECT_EQ(h.workspace.opened.size(), 2u);
}

TEST_F(ActionPerformerTest, FlomoDryRunSendsNothingAndALateNoticeForAClosedPanelIsDropped) {
    test::LocalHttpServer http;
    std::atomic<int> posts{0};
    http.server.Post("/hook", [&](const httplib::Request&, httplib::Response& res) {
        ++posts;
        res.set_content(R"({"code":0})", "application/json");
    });
    http.start();
    ASSERT_TRUE(Credentials(h.secrets).set(http.url("/hook"), Credentials::flomoAccount));

    h.defaults->set("flomoDry", true);
    choose("一个想法", ActionID::flomo());
    EXPECT_EQ(h.notice(), L("flomo（dry-run，未发送）…"));
    h.queue.runReady();
    EXPECT_EQ(h.notice(), L("dry-run：已构造 flomo 内容，没有发送"));
    EXPECT_EQ(posts, 0);

    h.defaults->set("flomoDry", false);
    choose("一个想法", ActionID::flomo());
    EXPECT_EQ(h.notice(), L("正在记到 flomo…"));
    ASSERT_TRUE(settle([&] { return h.notice() == L("已记到 flomo"); }));
    EXPECT_EQ(posts, 1);

    choose("一个想法", ActionID::flomo());
    h.panelWindow.press(53);  // Esc before the reply
    h.queue.runReady();
    ASSERT_TRUE(settle([&] { return posts == 2 && h.queue.runReady() > 0; }));
    EXPECT_FALSE(h.panelWindow.visible);
}

TEST_F(ActionPerformerTest, AReminderNoticeNamesItsDueDate) {
    const std::string text = "明天下午3点 交报告";
    choose(text, ActionID::todo());
    EXPECT_EQ(h.notice(), L("正在加到提醒事项…"));
    const auto due = DateExtractor::extract(text, h.clock.now(), *currentCalendar());
    ASSERT_TRUE(due);
    const auto done = L("已加到提醒事项，截止 %@", DateExtractor::describe(*due));
    ASSERT_TRUE(settle([&] { return h.notice() == done; }));
    {
        std::lock_guard lock(h.reminders->mutex);
        ASSERT_EQ(h.reminders->saved.size(), 1u);
        EXPECT_EQ(h.reminders->saved[0].due->hour, 15);
        EXPECT_TRUE(h.reminders->saved[0].alarm);
    }
    h.queue.advance(2.01);
    EXPECT_FALSE(h.panelWindow.visible);

    {
        std::lock_guard lock(h.reminders->mutex);
        h.reminders->granted = false;
    }
    choose("没有日期的事", ActionID::todo());
    ASSERT_TRUE(settle([&] { return h.notice() == ReminderError::denied().description(); }));
    expectClosesAfter(6);
}
