#include "BrisendoKit/Settings/CustomActionForm.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Actions/ActionsSettingsModel.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/LoginItemHook.h"
#include "BrisendoKit/Platform/NoOnDeviceTranslator.h"
#include "BrisendoKit/Settings/ActionRow.h"
#include "BrisendoKit/Settings/ApplicationsListModel.h"
#include "BrisendoKit/Settings/GeneralForm.h"
#include "BrisendoKit/Settings/TranslationPackModel.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/ManualMainQueue.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

bool known(std::string_view name) {
    return name == "magnifyingglass" || name == "globe";
}

using Field = CustomActionForm::Field;

struct Fixture {
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "com.morvale.pivorel.json";
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(file);
};

using Kind = ApplicationsListModel::Kind;

struct FakeLogin final : LoginItemHook {
    bool enabled = false;
    bool accept = true;
    bool isEnabled() override { return enabled; }
    bool set(bool on) override {
        if (accept) enabled = on;
        return accept;
    }
};

struct LoginFixture : Fixture {
    std::shared_ptr<FakeLogin> login = std::make_shared<FakeLogin>();
    GeneralForm form{BarSettings(defaults), login, nullptr};
};

using Phase = TranslationPackModel::Phase;

}  // namespace

TEST(CustomActionForm, SavingShowsTheFirstFailingCheckUnderItsField) {
    CustomActionForm form(known);
    EXPECT_TRUE(form.isNew());

    form.setName(" \n ");
    form.setURLTemplate("https://example.com/?q={text}");
    EXPECT_EQ(form.submit(), std::nullopt);
    EXPECT_EQ(form.error(), (CustomActionForm::Error{Field::name, "请填一个名称"}));

    form.setName("Perplexity");
    EXPECT_EQ(form.error(), std::nullopt);  // an edit clears the message
    form.setURLTemplate("https://example.com/?q={text} x");
    EXPECT_EQ(form.submit(), std::nullopt);
    EXPECT_EQ(form.error(), (CustomActionForm::Error{Field::urlTemplate, "模板里不能有空格"}));

    form.setName("  Perplexity ");
    form.setSymbol(" magnifyingglass ");
    form.setURLTemplate(" https://www.perplexity.ai/search?q={text}\n");
    const auto action = form.submit();
    ASSERT_TRUE(action);
    EXPECT_EQ(action->id.rfind("custom:", 0), 0u);
    EXPECT_EQ(action->name, "Perplexity");
    EXPECT_EQ(action->symbol, "magnifyingglass");
    EXPECT_EQ(action->urlTemplate, "https://www.perplexity.ai/search?q={text}");
}

TEST(CustomActionForm, EditingKeepsTheIdentityAndUnknownSymbolsOfferThePicker) {
    const CustomAction existing{"custom:0b7e1c1e-6c3a-4b59-9b0a-3f3c5b8f2a11", "Bing", "nosuch",
                                "https://www.bing.com/search?q={text}", "bing"};
    CustomActionForm form(existing, known);
    EXPECT_FALSE(form.isNew());
    EXPECT_FALSE(form.symbolKnown());
    EXPECT_EQ(form.previewSymbol(), "questionmark.square.dashed");
    form.setSymbol("");
    EXPECT_FALSE(form.symbolKnown());
    form.setSymbol("globe");
    EXPECT_TRUE(form.symbolKnown());
    EXPECT_EQ(form.previewSymbol(), "globe");

    form.setName("必应");
    const auto saved = form.submit();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->id, existing.id);
    EXPECT_EQ(saved->presetID, "bing");
    EXPECT_EQ(saved->name, "必应");
}

TEST(ActionRow, TagsTheActionsOnTheBarAndDescribesHiddenOnes) {
    test::TempDir dir;
    ActionsSettingsModel model(ActionConfigStore{dir.path() / "actions.json"});
    auto rows = ActionRow::rows(model);
    ASSERT_GT(rows.size(), 5u);
    EXPECT_TRUE(rows[3].onBar);
    EXPECT_FALSE(rows[4].onBar);
    EXPECT_EQ(rows[0].eyeHelp, "显示中，点此隐藏");

    // Hiding one of the first four lets the fifth onto the bar.
    model.setHidden(ActionID{"flomo"}, true);
    model.upsert({"custom:0b7e1c1e-6c3a-4b59-9b0a-3f3c5b8f2a11", "Bing", "magnifyingglass",
                  "https://www.bing.com/search?q={text}", std::nullopt});
    const auto builtins = rows.size();
    rows = ActionRow::rows(model);
    ASSERT_EQ(rows.size(), builtins + 1);
    EXPECT_TRUE(rows[1].hidden);
    EXPECT_FALSE(rows[1].onBar);
    EXPECT_EQ(rows[1].eyeHelp, "已隐藏，点此显示");
    EXPECT_EQ(rows[1].accessibilityLabel, rows[1].title + "，已隐藏");
    EXPECT_TRUE(rows[4].onBar);
    EXPECT_FALSE(rows[5].onBar);
    EXPECT_TRUE(rows.back().custom);
    EXPECT_EQ(rows.back().title, "Bing");

    EXPECT_NE(ActionRow::smartDescription(true), ActionRow::smartDescription(false));
    EXPECT_EQ(ActionRow::smartDescription(false).rfind("已关闭：", 0), 0u);
}

TEST(ApplicationsListModel, AddingTrimsAndSkipsRepeatsRemovingStoresTheRestAndOthersWritesShow) {
    Fixture f;
    ApplicationsListModel excluded(Kind::excluded, BarSettings(f.defaults));
    int changes = 0;
    auto watch = excluded.changed.connect([&] { ++changes; });
    const auto defaults = BarSettings::defaultExcluded();
    EXPECT_EQ(excluded.apps(), defaults);

    EXPECT_TRUE(excluded.add("  org.gnome.Terminal\n"));
    auto expected = defaults;
    expected.push_back("org.gnome.Terminal");
    EXPECT_EQ(UserDefaults(f.file).stringArray("barExcludedApps"), expected);
    EXPECT_FALSE(excluded.add("org.gnome.Terminal"));
    EXPECT_FALSE(excluded.add(" \t"));
    EXPECT_EQ(excluded.apps(), expected);
    EXPECT_EQ(changes, 1);

    // Removing every entry stores an empty list, which stays empty (not the defaults).
    for (const auto& id : expected) excluded.remove(id);
    excluded.remove("not.listed");
    EXPECT_TRUE(excluded.apps().empty());
    EXPECT_EQ(UserDefaults(f.file).stringArray("barExcludedApps"), std::vector<std::string>{});

    // The two lists are kept apart.
    ApplicationsListModel fallback(Kind::copyFallback, BarSettings(f.defaults));
    EXPECT_TRUE(fallback.apps().empty());
    EXPECT_TRUE(fallback.add("code"));
    EXPECT_EQ(f.defaults->stringArray("barCopyFallbackApps"), std::vector<std::string>{"code"});
    EXPECT_TRUE(excluded.apps().empty());

    // Return in the field adds, and always empties it.
    fallback.setManual(" xterm ");
    EXPECT_TRUE(fallback.submitManual());
    EXPECT_TRUE(fallback.manual().empty());
    fallback.setManual("xterm");
    EXPECT_FALSE(fallback.submitManual());
    EXPECT_TRUE(fallback.manual().empty());
    EXPECT_EQ(fallback.apps(), (std::vector<std::string>{"code", "xterm"}));

    // Another writer's change reaches the views too.
    int fallbackChanges = 0;
    auto fallbackWatch = fallback.changed.connect([&] { ++fallbackChanges; });
    f.defaults->set("barCopyFallbackApps", std::vector<std::string>{"a", "b"});
    f.defaults->set("llmModel", "unrelated");
    EXPECT_EQ(fallbackChanges, 1);
    EXPECT_EQ(fallback.apps(), (std::vector<std::string>{"a", "b"}));
}

TEST(ApplicationsListModel, TheRunningMenuOffersRegularUnlistedAppsOnceSortedByLocalizedName) {
    Fixture f;
    f.defaults->set("barCopyFallbackApps", std::vector<std::string>{"org.gnome.Terminal"});
    ApplicationsListModel fallback(Kind::copyFallback, BarSettings(f.defaults));
    const std::vector<RunningApp> running{
        {"org.gnome.Terminal", "终端", true},  // listed already
        {"firefox-esr", "火狐", true},         // huo
        {"org.gnome.Nautilus", "文件", true},  // wen
        {"plasmashell", "Plasma", false},      // no window of its own
        {"", "无名", true},                    // no identifier
        {"firefox-esr", "火狐", true},         // a second window
        {"thunderbird", "Thunderbird", true},
        {"chromium", "浏览器", true},  // liu
    };
    std::vector<std::string> order;
    for (const auto& app : fallback.runningChoices(running)) order.push_back(app.bundleID);
    // Pinyin order in Simplified Chinese, Han before Latin; byte order would differ.
    EXPECT_EQ(order, (std::vector<std::string>{"firefox-esr", "chromium", "org.gnome.Nautilus",
                                               "thunderbird"}));
}

TEST(GeneralForm, ARefusedLoginChangeSpringsBackWithANote) {
    LoginFixture f;
    const std::string refused = "系统没有接受，请在系统设置 → 通用 → 登录项里手动设置";
    for (auto [accept, on, shown, note] : {std::tuple{true, true, true, ""},
                                           {false, false, true, refused.c_str()},
                                           {true, false, false, ""}}) {
        f.login->accept = accept;
        f.form.setLoginOn(on);
        EXPECT_EQ(f.form.loginOn(), shown);
        EXPECT_EQ(f.form.loginNote(), note);
    }

    // Without a hook the switch stays off and says it was refused.
    GeneralForm bare{BarSettings(f.defaults), nullptr, nullptr};
    bare.setLoginOn(true);
    EXPECT_FALSE(bare.loginOn());
    EXPECT_FALSE(bare.loginNote().empty());
    EXPECT_EQ(bare.versionLine(), "当前版本 　还没检查过");
}

TEST(GeneralForm, TheLastCheckIsWrittenInTheInterfaceLanguagesMonthDayTimeForm) {
    // 2025-06-15 15:06:40 UTC.
    const TimePoint t = fromUnixSeconds(1'750'000'000);
    EXPECT_EQ(GeneralForm::formatCheckTime(t, "zh-Hans", "UTC"), "6月15日 15:06");
    EXPECT_EQ(GeneralForm::formatCheckTime(t, "en", "UTC"), "Jun 15, 15:06");
    EXPECT_EQ(GeneralForm::formatCheckTime(t, "de", "Asia/Shanghai"), "15. Juni, 23:06");
}

TEST(TranslationPackModel, ADesktopWithoutAnOfflineEngineNeedsPacksAndFailsToDownloadThem) {
    test::VirtualClock clock;
    test::ManualMainQueue queue(clock);
    auto model =
        TranslationPackModel::withoutDownloads(std::make_shared<NoOnDeviceTranslator>(), queue);
    std::vector<Phase> seen;
    auto watch = model->changed.connect([&] { seen.push_back(model->phase()); });
    model->appear();
    EXPECT_EQ(seen, (std::vector<Phase>{Phase::checking, Phase::needsDownload}));
    EXPECT_TRUE(model->canDownload());

    model->download();
    EXPECT_EQ(model->phase(), Phase::downloading);
    EXPECT_EQ(model->statusText(), "正在请求下载，请在系统弹出的提示里点「下载」。");
    EXPECT_FALSE(model->canDownload());
    queue.runReady();
    EXPECT_EQ(model->phase(), Phase::failed);
    const std::string reason = TranslationPackModel::unavailableMessage();
    EXPECT_EQ(model->statusText(),
              "没有下载成功：" + reason +
                  "。也可以到「系统设置 → 通用 → 语言与地区 → 翻译语言」手动下载。");
    EXPECT_TRUE(model->canDownload());  // may be retried

    // The message follows the interface language like the rest of the window.
    Localizer::setLanguageOverride("en");
    const std::string english = model->statusText();
    Localizer::setLanguageOverride("zh-Hans");
    EXPECT_EQ(english.find(reason), std::string::npos);
    EXPECT_NE(english.find(Localizer::lookup(reason, "en")), std::string::npos);
}
