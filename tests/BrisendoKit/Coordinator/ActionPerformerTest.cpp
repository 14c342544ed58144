#include "BrisendoKit/Coordinator/ActionPerformer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Coordinator/Harness.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "BrisendoKit/LanguageModel/ChatServer.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/DesktopTargets.h"
#include "BrisendoKit/Support/Calendar.h"

using namespace pivorel;
using test::Rows;

namespace {

struct ActionPerformerTest : ::testing::Test {
    test::Harness h;
    bool settle(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            h.queue.runReady();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

CustomAction custom(std::string id, std::string name, std::string urlTemplate) {
    return {"custom:" + id, std::move(name), "magnifyingglass", std::move(urlTemplate), {}};
}

}  // namespace

TEST_F(ActionPerformerTest, AnAskStreamsIntoThePanelAndIsArchived) {
    test::ChatServer server;
    server.reply(test::ChatServer::answer({"意外", "发现"}));
    h.defaults->set("llmBaseURL", server.baseURL());
    h.defaults->set("llmModel", "test-model");
    ASSERT_TRUE(Credentials(h.secrets).set("sk-test", Credentials::llmAccount));
    h.useActions({"ask", "translate", "copy"});

    h.select("serendipity");
    const auto id = h.controller.barContext()->id;
    h.bar.model()->chosen.emit(0);
    ASSERT_TRUE(h.panelWindow.visible);
    const auto model = h.panel.model();
    EXPECT_EQ(model->mode(), PanelMode::ask(AskKind::ask));
    ASSERT_TRUE(settle([&] { return !model->ask->isStreaming(); }));
    EXPECT_EQ(model->ask->lastAnswer(), "意外发现");
    EXPECT_EQ(server.requests().at(0).authorization, "Bearer sk-test");
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
}

// No key: a model on this machine answers (also for "system"); a remote one is not asked.
TEST_F(ActionPerformerTest, AModelOnThisMachineNeedsNoKey) {
    test::ChatServer server;
    server.reply(test::ChatServer::answer({"本机"}));
    h.defaults->set("translateEngine", "system");
    for (const auto& [base, ask, translate] :
         {std::tuple{server.baseURL(), "本机", "本机"},
          {"http://192.0.2.1/v1", "还没有模型密钥：托盘 → 设置… 里填入 API Key",
           "还不能翻译：请在设置 → 服务里填入模型的地址和密钥"}}) {
        h.defaults->set("llmBaseURL", base);
        for (const auto& [action, says] :
             {std::pair{ActionID::ask(), ask}, {ActionID::translate(), translate}}) {
            h.choose("serendipity", action);
            const auto panel = h.panel.model();
            ASSERT_TRUE(settle([&] { return !panel->ask->isStreaming(); }));
            EXPECT_EQ(panel->ask->errorText().value_or(panel->ask->lastAnswer()), says) << base;
        }
    }
    for (const auto& request : server.requests()) EXPECT_EQ(request.authorization, "");
}

TEST_F(ActionPerformerTest, CutAndPasteTellTheOutcomeWhereTheUserLooks) {
    h.accessibility.menus[{h.app, 'V'}] = false;  // a read-only field
    h.accessibility.menus[{h.app, 'X'}] = true;
    h.useActions({"paste", "cut", "copy"});

    // The panel closes first: the failure shows at the pointer, the success is silent.
    h.workspace.pointer = {700, 300};
    h.choose("read only", ActionID::paste());
    EXPECT_TRUE(h.log.contains("Pivorel: 面板关闭 reason=action-opened"));
    EXPECT_EQ(h.notice(), L("这里不能粘贴（只读内容）"));
    EXPECT_EQ(h.panelWindow.frame().origin(), h.panelOriginNear({700, 300}));
    h.expectClosesAfter(4.5);

    h.choose("editable", ActionID::cut());
    EXPECT_EQ(h.accessibility.presses.back(), std::make_pair(std::string(h.app), 'X'));
    EXPECT_FALSE(h.panelWindow.visible);
}

TEST_F(ActionPerformerTest, LinksOpenOrSayWhatIsMissing) {
    const auto broken =
        custom("6a1d4b97-1e7c-4054-8b9f-3c2d8e1fab22", "Broken", "javascript:{text}");
    const auto zotero =
        custom("7b2e5ca8-2f8d-4165-9ca0-4d3e9f20bc33", "Zotero", "zotero://s?q={text}");
    h.useActions({"lookup", "dayOne", broken.id, zotero.id}, false, 4, {broken, zotero});

    std::string longText = "  ", expected = "dict://";
    for (int i = 0; i < 150; ++i) longText += "词 ";
    std::string head;
    for (int i = 0; i < 100; ++i) expected += "词%20", head += "词 ";
    h.choose(longText, ActionID::lookup());
    EXPECT_EQ(h.workspace.opened.back(), expected);
    EXPECT_FALSE(h.panelWindow.visible);
    // An installed dictionary program takes the same text instead.
    struct Dictionary : DesktopTargets {
        std::vector<std::string> asked;
        Presence presence() override { return {}; }
        bool lookUp(const std::string& text) override { return asked.push_back(text), true; }
    } dictionary;
    ActionPerformer withDictionary{{h.controller,
                                    h.reader,
                                    h.pasteboard,
                                    h.workspace,
                                    h.settings,
                                    h.queue,
                                    h.clock,
                                    [] { return nullptr; },
                                    {},
                                    nullptr,
                                    Credentials(h.secrets),
                                    &dictionary}};
    h.controller.setPerformer(&withDictionary);
    h.choose(longText, ActionID::lookup());
    h.controller.setPerformer(&h.performer);
    EXPECT_EQ(dictionary.asked, std::vector<std::string>{head});
    EXPECT_EQ(h.workspace.opened.size(), 1u);
    EXPECT_FALSE(h.panelWindow.visible);

    for (auto [action, notice] :
         {std::pair{ActionID(broken.id),
                    L("「%@」的 URL 模板无效，请到设置 → 动作里修改", "Broken")},
          {ActionID(zotero.id), L("没有能打开这个链接的 App")},
          {ActionID::dayOne(), L("没有找到 Day One")}}) {
        h.choose("x", action);
        EXPECT_EQ(h.notice(), notice);
    }
    h.queue.advance(3.01);
    EXPECT_FALSE(h.panelWindow.visible);

    // An action the configuration no longer has.
    h.controller.handle(test::request("x"), {200, 600});
    h.performer.perform(ActionID("custom:0d9e8c7b-0000-4000-8000-000000000000"), test::request("x"),
                        *h.controller.currentRecordID(), h.panel.model());
    EXPECT_EQ(h.notice(), L("这个自定义动作已被删除"));
    EXPECT_EQ(h.workspace.opened.size(), 1u);
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
    h.choose("一个想法", ActionID::flomo());
    EXPECT_EQ(h.notice(), L("flomo（dry-run，未发送）…"));
    h.queue.runReady();
    EXPECT_EQ(h.notice(), L("dry-run：已构造 flomo 内容，没有发送"));
    EXPECT_EQ(posts, 0);

    h.defaults->set("flomoDry", false);
    h.choose("一个想法", ActionID::flomo());
    h.panelWindow.press(53);  // Esc before the reply
    h.queue.runReady();
    ASSERT_TRUE(settle([&] { return posts == 1 && h.queue.runReady() > 0; }));
    EXPECT_FALSE(h.panelWindow.visible);
}

TEST_F(ActionPerformerTest, CalendarAddsTheEventTheTextDatesAndSaysWhereItWent) {
    const auto calendar = currentCalendar();
    const auto read = [&](const char* text) {
        return *DateExtractor::extract(text, h.clock.now(), *calendar);
    };
    const CalendarError failed{CalendarError::Kind::failed, "个人", "Permission denied"};
    const CalendarError none{CalendarError::Kind::noCalendar, {}, {}};
    struct Case {
        const char* text;
        std::optional<CalendarError> error;
        std::string notice;
    } cases[] = {
        {"明天下午3点开会", {}, L("已加到日历，%@", DateExtractor::describe(read("明天下午3点")))},
        {"明天交报告", {}, L("已加到日历，%@", DateExtractor::describe(read("明天")))},
        {"读完这篇", {}, L("已加到日历")},
        {"x", failed, L("没法加到日历「%@」：%@", "个人", "Permission denied")},
        {"x", none, L("没有找到日历 App")},
    };
    for (const auto& c : cases) {
        h.calendarError = c.error;
        h.choose(c.text, ActionID::calendar());
        EXPECT_EQ(h.notice(), L("正在加到日历…"));
        ASSERT_TRUE(settle([&] { return h.notice() != L("正在加到日历…"); }));
        EXPECT_EQ(h.notice(), c.notice) << c.text;
    }
    ASSERT_EQ(h.events->size(), 3u);
    // No date: the next full hour.
    const auto& undated = (*h.events)[2].start;
    ASSERT_TRUE(undated.hour && undated.instant());
    const auto ahead = *undated.instant() - h.clock.now();
    EXPECT_TRUE(ahead > std::chrono::seconds(0) && ahead <= std::chrono::hours(1));
    EXPECT_EQ(undated.minute, 0);
}
