#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QWindow>
#include <fstream>
#include <nlohmann/json.hpp>

#include "BrisendoKit/Actions/ActionsSettingsModel.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/NoOnDeviceTranslator.h"
#include "BrisendoKit/Settings/ActionRow.h"
#include "BrisendoKit/Settings/ServicesForm.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "BrisendoKit/Update/Updater.h"
#include "BrisendoKit/Update/UpdaterHook.h"
#include "Fakes/FakeDesktop.h"
#include "Pivorel/Linux/AutostartLoginItem.h"
#include "Pivorel/Linux/SecretServiceStore.h"
#include "Pivorel/Linux/XDesktopTestSupport.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/QtMainQueue.h"
#include "Pivorel/Settings/ActionsSettingsView.h"
#include "Pivorel/Settings/ExtensionLibraryView.h"
#include "Pivorel/Settings/GeneralSettingsView.h"
#include "Pivorel/Settings/SettingsWindow.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Page = SettingsRootView::Page;

namespace {

// A window over files in a temporary directory, with no network for the catalog.
struct Files {
    TempDir dir;
    fs::path defaultsFile = dir.path() / "com.morvale.pivorel.json";
    fs::path actionsFile = dir.path() / "actions.json";
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(defaultsFile);
    FakeWorkspace workspace;
    SystemClock clock;
    std::unique_ptr<QtMainQueue> queue;
    std::unique_ptr<Updater> updater;

    SettingsEnvironment environment() {
        SettingsEnvironment env;
        env.defaults = defaults;
        queue = std::make_unique<QtMainQueue>();
        updater = std::make_unique<Updater>(*defaults, *queue, clock, workspace, "0.1.0", [] {
            return Result<Updater::Items, std::string>(fail(std::string("offline")));
        });
        env.update = std::make_shared<UpdaterHook>(*updater);
        env.actions.url = actionsFile;
        env.extensions.cacheURL = dir.path() / "extensions-cache.json";
        env.extensions.fetch = [](const std::string&) -> Result<std::string, std::string> {
            return fail(std::string("offline"));
        };
        env.login = std::make_shared<AutostartLoginItem>(
            dir.path() / "autostart", std::vector<fs::path>{}, "/usr/bin/pivorel");
        env.translator = std::make_shared<NoOnDeviceTranslator>();
        return env;
    }
};

// Scrolls the page to `widget` (as a person would) and clicks its middle.
bool clickAt(XSession& x, QWidget* widget) {
    for (QWidget* w = widget->parentWidget(); w; w = w->parentWidget()) {
        if (auto* scroll = qobject_cast<QScrollArea*>(w)) {
            scroll->ensureWidgetVisible(widget);
            break;
        }
    }
    settle(std::chrono::milliseconds(100));
    const QPoint p = widget->mapToGlobal(widget->rect().center());
    return x.xdotool(
        {"mousemove", "--sync", std::to_string(p.x()), std::to_string(p.y()), "click", "1"});
}

std::string lastRowTitle(QListWidget* list) {
    if (list->count() == 0) return {};
    QWidget* row = list->itemWidget(list->item(list->count() - 1));
    auto* title = row ? row->findChild<QLabel*>(QStringLiteral("title")) : nullptr;
    return title ? title->text().toStdString() : std::string();
}

void setLanguage(const std::string& code) {
    Localizer::setLanguageOverride(code);
    LanguageStore::shared().bump();
    QCoreApplication::processEvents();
}

}  // namespace

TEST(SettingsWindowOnX, RecordsControlOptionMAndAddsAnExtensionAtTheEndOfTheList) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    if (x.run({"xdotool", "version"}).status != 0) GTEST_SKIP() << "xdotool is not installed";
    qtApp("xcb");
    Files files;
    SettingsWindow window(files.environment());
    window.show();
    window.raise();
    window.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return window.windowHandle()->isExposed(); }, 5s));
    settle(200ms);

    // Keys pressed on the X server, as the recorder hears them.
    GeneralSettingsView& general = window.root().general();
    ASSERT_TRUE(clickAt(x, general.hotKeyButton()));
    ASSERT_TRUE(waitUntil([&] { return general.recorder().isRecording(); }, 5s));
    EXPECT_EQ(general.hotKeyButton()->text().toStdString(), "按下新的组合键…（Esc 取消）");
    ASSERT_TRUE(waitUntil([&] { return window.isActiveWindow(); }, 5s));
    ASSERT_TRUE(x.xdotool({"key", "shift+n"}));  // not enough: still recording
    ASSERT_TRUE(x.xdotool({"key", "ctrl+alt+m"}));
    ASSERT_TRUE(waitUntil([&] { return !general.recorder().isRecording(); }, 5s));
    UserDefaults stored(files.defaultsFile);
    EXPECT_EQ(stored.integerValue("hotkeyCode"), 46);
    EXPECT_EQ(stored.integerValue("hotkeyMods"), 6144);
    EXPECT_EQ(general.hotKeyButton()->text().toStdString(), "Ctrl+Alt+M");

    // Add an extension from the library.
    ASSERT_TRUE(clickAt(x, window.root().tabButton(Page::actions)));
    ASSERT_TRUE(waitUntil([&] { return window.root().page() == Page::actions; }, 5s));
    ActionsSettingsView& actions = window.root().actions();
    settle(100ms);
    ASSERT_TRUE(clickAt(x, actions.addExtensionButton()));
    ASSERT_TRUE(waitUntil(
        [&] {
            return actions.library() && actions.library()->windowHandle() &&
                   actions.library()->windowHandle()->isExposed();
        },
        5s));
    settle(300ms);
    QPushButton* add = actions.library()->addButton("aiqicha");
    ASSERT_NE(add, nullptr);
    ASSERT_TRUE(clickAt(x, add));
    ASSERT_TRUE(waitUntil([&] { return actions.model().config().custom.size() == 1; }, 5s));
    EXPECT_FALSE(add->isEnabled());
    actions.library()->accept();

    ASSERT_TRUE(waitUntil([&] { return lastRowTitle(actions.list()) == "爱企查"; }, 5s));
    EXPECT_EQ(actions.list()->count(), 14);
    std::ifstream in(files.actionsFile);
    const auto json = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(json.is_object());
    ASSERT_EQ(json["custom"].size(), 1u);
    EXPECT_EQ(json["custom"][0]["presetID"], "aiqicha");
    EXPECT_EQ(json["order"].back(), json["custom"][0]["id"]);

    // Drag the first action below the third.
    QListWidget* list = actions.list();
    const auto rowCenter = [&](int row) {
        return list->viewport()->mapToGlobal(list->visualItemRect(list->item(row)).center());
    };
    ASSERT_TRUE(clickAt(x, list));  // scrolls the list into view
    const QPoint from = rowCenter(0);
    const QPoint to = rowCenter(2) + QPoint(0, list->visualItemRect(list->item(2)).height() / 3);
    // The drag runs its own event loop until the button is released: the hand moves from
    // another thread while this one keeps Qt's events flowing.
    ASSERT_TRUE(drive(x, dragSteps({from.x(), from.y()}, {to.x(), to.y()})));
    ASSERT_TRUE(waitUntil([&] { return actions.model().actions()[2].rawValue == "ask"; }, 5s))
        << "order now begins " << actions.model().actions()[0].rawValue;
    EXPECT_EQ(actions.model().actions()[0].rawValue, "flomo");
}

TEST(SettingsWindowPages, EveryPageRendersInChineseAndEnglishAndFollowsTheLanguageAtOnce) {
    qtApp("offscreen");
    Files files;
    files.defaults->set("barCopyFallbackApps",
                        std::vector<std::string>{"org.gnome.Terminal", "xterm"});
    SettingsWindow window(files.environment());
    window.setPalette(PivorelStyle::palette(false));
    window.show();
    QCoreApplication::processEvents();
    SettingsRootView& root = window.root();
    root.actions().model().upsert({"custom:1", "Perplexity", "nosuch.symbol",
                                   "https://www.perplexity.ai/search?q={text}", std::nullopt});
    root.actions().model().setHidden(ActionID{"kagi"}, true);

    for (const std::string language : {"zh-Hans", "en"}) {
        setLanguage(language);
        settle(50ms);
        EXPECT_EQ(window.windowTitle().toStdString(), L("Pivorel 设置"));
        EXPECT_EQ(root.tabButton(Page::general)->text().toStdString(), L("通用"));
    }
    EXPECT_EQ(root.tabButton(Page::actions)->text().toStdString(), "Actions");

    // Turning smart ranking off changes its description at once.
    auto* smart = root.actions().findChild<QCheckBox*>();
    ASSERT_NE(smart, nullptr);
    smart->click();
    EXPECT_FALSE(root.actions().model().config().smartRanking);
    bool offText = false;
    for (auto* label : root.actions().findChildren<QLabel*>()) {
        if (label->text().toStdString() == ActionRow::smartDescription(false)) offText = true;
    }
    EXPECT_TRUE(offText);
    setLanguage("zh-Hans");
}

// The model and flomo forms against the desktop's Secret Service, as the program runs
// them. Only the throw-away keyring of scripts/keyring-session is written to.
TEST(ServicesFormKeyring, SavedSecretsReachTheKeyringAndAreNeverReadBackIntoTheForm) {
    if (!std::getenv("PIVOREL_TEST_KEYRING")) GTEST_SKIP() << "run through scripts/keyring-session";
    auto store = std::make_shared<SecretServiceStore>(std::chrono::seconds(5));
    TempDir dir;
    auto defaults = std::make_shared<UserDefaults>(dir.path() / "d.json");

    {
        ServicesForm form{BarSettings(defaults), Credentials(store)};
        form.setModel("deepseek-reasoner");
        form.setAPIKey("  sk-keyring-test \n");
        form.setWebhook("https://flomoapp.com/iwh/keyring/test/");
        form.setFlomoDry(true);
        form.saveModel();
        form.saveFlomo();
        EXPECT_EQ(form.modelNote(), ServicesForm::Note::saved);
        EXPECT_EQ(form.flomoNote(), ServicesForm::Note::saved);
    }
    EXPECT_EQ(store->get(Credentials::service, Credentials::llmAccount), "sk-keyring-test");
    EXPECT_EQ(store->get(Credentials::service, Credentials::flomoAccount),
              "https://flomoapp.com/iwh/keyring/test/");

    // A new form (the window opened again) knows a key is stored but shows none.
    ServicesForm again{BarSettings(defaults), Credentials(store)};
    EXPECT_TRUE(again.hasKey());
    EXPECT_TRUE(again.hasFlomo());
    EXPECT_TRUE(again.apiKey().empty());
    EXPECT_TRUE(again.webhook().empty());
    EXPECT_EQ(again.apiKeyPrompt(), "已保存，留空则不改");
    EXPECT_EQ(again.model(), "deepseek-reasoner");
    EXPECT_TRUE(again.flomoDry());

    // Saving with the key field empty leaves the stored key alone.
    again.setBaseURL("https://api.example.com/v1");
    again.saveModel();
    EXPECT_EQ(store->get(Credentials::service, Credentials::llmAccount), "sk-keyring-test");
}
