#include "BrisendoKit/Settings/CustomActionForm.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Platform/LoginItemHook.h"
#include "BrisendoKit/Settings/ApplicationsListModel.h"
#include "BrisendoKit/Settings/GeneralForm.h"
#include "BrisendoKit/Settings/HotKeyRecorder.h"
#include "BrisendoKit/Settings/ServicesForm.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/InMemorySecretStore.h"
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
    std::shared_ptr<test::InMemorySecretStore> secrets =
        std::make_shared<test::InMemorySecretStore>();
    test::VirtualClock clock;
    test::ManualMainQueue queue{clock};
    // The store answers at once; its answers still arrive through the queue.
    ServicesForm services() {
        return ServicesForm{BarSettings(defaults), Credentials(secrets), queue,
                            [](std::function<void()> task) { task(); }, false};
    }
    std::optional<std::string> secret(std::string_view account) {
        return secrets->get(Credentials::service, account);
    }
};

struct Recording : ::testing::Test, Fixture {
    HotKeyRecorder recorder{BarSettings(defaults)};
};

KeyEvent key(std::uint16_t code, std::uint64_t flags) {
    return KeyEvent{code, flags, ""};
}
constexpr auto ctrl = KeyEvent::controlFlag;
constexpr auto opt = KeyEvent::optionFlag;
constexpr auto shift = KeyEvent::shiftFlag;
constexpr auto cmd = KeyEvent::commandFlag;

using Kind = ApplicationsListModel::Kind;
using Outcome = HotKeyRecorder::Outcome;

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
    EXPECT_EQ(
        std::tuple(action->name, action->symbol, action->urlTemplate),
        std::tuple("Perplexity", "magnifyingglass", "https://www.perplexity.ai/search?q={text}"));
}

TEST(CustomActionForm, EditingKeepsTheIdentity) {
    const CustomAction existing{"custom:0b7e1c1e-6c3a-4b59-9b0a-3f3c5b8f2a11", "Bing", "nosuch",
                                "https://www.bing.com/search?q={text}", "bing"};
    CustomActionForm form(existing, known);
    EXPECT_FALSE(form.isNew());
    form.setName("必应");
    const auto saved = form.submit();
    ASSERT_TRUE(saved);
    EXPECT_EQ(std::tuple(saved->id, saved->presetID, saved->name),
              std::tuple(existing.id, std::optional<std::string>("bing"), std::string("必应")));
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
    EXPECT_FALSE(excluded.add("org.gnome.Terminal") || excluded.add(" \t"));
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
    for (bool added : {true, false}) {
        fallback.setManual(" xterm ");
        EXPECT_EQ(fallback.submitManual(), added);
        EXPECT_TRUE(fallback.manual().empty());
    }
    EXPECT_EQ(fallback.apps(), (std::vector<std::string>{"code", "xterm"}));
}

TEST(GeneralForm, ARefusedLoginChangeSpringsBackWithANote) {
    LoginFixture f;
    const std::string refused =
        "没能改写自动启动文件，请确认 ~/.config/autostart 可以写入，再试一次";
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
    EXPECT_EQ(std::pair(bare.loginOn(), bare.loginNote()), std::pair(false, refused));
}

TEST(ServicesForm, AKeychainThatRefusesKeepsTheTypedSecretAndSaysSo) {
    Fixture f;
    f.secrets->failWrites = true;
    auto form = f.services();
    EXPECT_FALSE(form.hasKey());
    form.setModel("gpt-x");
    form.setAPIKey("sk-typed");
    form.saveModel();
    f.queue.runReady();
    EXPECT_EQ(form.modelNote(), ServicesForm::Note::keychainFailed);
    EXPECT_EQ(form.apiKey(), "sk-typed");
    EXPECT_FALSE(form.hasKey());
    EXPECT_TRUE(form.modelDirty());  // the key still waits to be stored
    EXPECT_EQ(f.defaults->stringValue("llmModel"), "gpt-x");

    form.setWebhook(" https://flomoapp.com/iwh/abc/def/ ");
    form.saveFlomo();
    f.queue.runReady();
    EXPECT_EQ(form.flomoNote(), ServicesForm::Note::keychainFailed);
    EXPECT_EQ(form.webhook(), " https://flomoapp.com/iwh/abc/def/ ");
    EXPECT_FALSE(form.hasFlomo());
}

TEST(ServicesForm, TheEngineIsStoredAtOnceAndTheBannerFollowsTheKey) {
    Fixture f;
    auto form = f.services();
    form.setEngine(TranslateEngine::model);
    EXPECT_EQ(UserDefaults(f.file).stringValue("translateEngine"), "model");
    EXPECT_EQ(form.status(false),
              (TranslateEngineStatus{"还没填 API Key，翻译不会成功：请在下面填写", false}));
    form.setBaseURL("http://[::1]:8080/v1");  // a model on this machine needs no key
    form.saveModel();
    EXPECT_TRUE(form.status(false).ok);
    form.setBaseURL("https://api.example.com/v1");
    form.setModel(" qwen-max ");
    form.setAPIKey("sk-1");
    form.saveModel();
    f.queue.runReady();
    EXPECT_EQ(form.status(false), (TranslateEngineStatus{"现在用你的模型翻译（qwen-max）", true}));

    form.setEngine(TranslateEngine::automatic);
    EXPECT_EQ(f.defaults->stringValue("translateEngine"), "auto");
}

TEST_F(Recording, EscapeAndKeysWithoutAModifierStoreNothingAndOnlyModifierFlagsAreKept) {
    EXPECT_EQ(recorder.handle(key(46, ctrl | opt)), Outcome::notRecording);
    recorder.toggle();
    EXPECT_EQ(recorder.handle(key(53, ctrl)), Outcome::cancelled);  // even with modifiers held
    EXPECT_FALSE(recorder.isRecording());
    recorder.toggle();
    EXPECT_EQ(recorder.handle(key(45, 0)), Outcome::ignored);
    EXPECT_FALSE(defaults->contains("hotkeyCode") || defaults->contains("hotkeyMods"));

    // Flags outside the modifier set (caps lock, function key) are not part of a hot key.
    EXPECT_EQ(HotKeyRecorder::modifierMask(cmd | shift | 0x10000 | 0x800000), 768u);
    EXPECT_EQ(recorder.handle(key(40, cmd | shift)), Outcome::recorded);  // still recording
    EXPECT_EQ(recorder.hotkey(), (HotKeySpec{40, 768}));
}

// The program holds no hot key while one is recorded, and always gets it back: after a
// recording, an Escape, a stop, and a window that went away mid-recording.
TEST_F(Recording, EveryRecordingThatBeginsAlsoEnds) {
    int began = 0, ended = 0;
    Connection watch;
    {
        HotKeyRecorder scoped{BarSettings(defaults)};
        watch = scoped.recordingChanged.connect([&](bool on) { ++(on ? began : ended); });
        scoped.stop();  // not recording: nothing to end
        scoped.toggle();
        scoped.handle(key(46, ctrl | opt));
        scoped.toggle();
        scoped.handle(key(53, 0));
        scoped.toggle();
        scoped.toggle();
        scoped.toggle();
        scoped.stop();
        scoped.toggle();
        EXPECT_EQ(std::pair(began, ended), std::pair(5, 4));
    }
    EXPECT_EQ(ended, 5);
}
