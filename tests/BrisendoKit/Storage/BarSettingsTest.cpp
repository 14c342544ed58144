#include "BrisendoKit/Storage/BarSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/KeyCodes.h"
#include "BrisendoKit/Selection/SelectionDetector.h"
#include "BrisendoKit/Storage/HotKeySpec.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

using namespace pivorel;

namespace {
struct Fixture {
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "com.morvale.pivorel.json";
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(file);
    BarSettings settings{defaults};
};
}  // namespace

TEST(BarSettings, MissingOrHandEditedValuesOfTheWrongTypeReadAsDefaults) {
    Fixture f;
    const auto config = SelectionDetector::Config::from(f.settings);
    EXPECT_TRUE(config.enabled);
    EXPECT_EQ(config.excluded, std::set<std::string>(BarSettings::defaultExcluded().begin(),
                                                     BarSettings::defaultExcluded().end()));
    EXPECT_EQ(config.ownBundleID, "com.morvale.pivorel");
    EXPECT_FALSE(std::filesystem::exists(f.file));  // reading writes nothing

    const auto file = f.dir.path() / "d.json";
    std::ofstream(file) << R"({"barEnabled": "no", "barExcludedApps": ["a", 1],
        "barCopyFallbackApps": "code", "barPausedUntil": "1900000000", "hotkeyCode": "45",
        "hotkeyMods": 256, "llmBaseURL": 5, "llmModel": null, "flomoDry": 1,
        "translateEngine": "deepl"})";
    BarSettings s(std::make_shared<UserDefaults>(file));
    EXPECT_TRUE(s.enabled());
    EXPECT_EQ(s.excluded(), BarSettings::defaultExcluded());
    EXPECT_TRUE(s.copyFallbackApps().empty());
    EXPECT_EQ(s.pausedUntil(), std::nullopt);
    EXPECT_EQ(s.hotkey(), HotKeySpec::defaultSpec());
    EXPECT_EQ(s.llmBaseURL(), "https://api.deepseek.com/v1");
    EXPECT_EQ(s.llmModel(), "deepseek-chat");
    EXPECT_FALSE(s.flomoDry());
    EXPECT_EQ(s.translateEngine(), "auto");

    // Hot key values outside the unsigned 32-bit range, or fractional ones.
    for (const char* json :
         {R"({"hotkeyCode": -1, "hotkeyMods": 6144, "barPausedUntil": 0})",
          R"({"hotkeyCode": 4294967296, "hotkeyMods": 6144, "barPausedUntil": -5})",
          R"({"hotkeyCode": 46, "hotkeyMods": 18446744073709551615, "barPausedUntil": false})",
          R"({"hotkeyCode": 46.5, "hotkeyMods": 6144})",
          R"({"hotkeyCode": 46, "hotkeyMods": -4096})"}) {
        std::ofstream(file) << json;
        const BarSettings read(std::make_shared<UserDefaults>(file));
        EXPECT_EQ(read.hotkey(), HotKeySpec::defaultSpec()) << json;
        EXPECT_EQ(read.pausedUntil(), std::nullopt) << json;
    }
    // A stored empty address is used as stored; the two known engines pass through.
    std::ofstream(file) << R"({"llmBaseURL": "", "translateEngine": "model"})";
    BarSettings t(std::make_shared<UserDefaults>(file));
    EXPECT_EQ(t.llmBaseURL(), "");
    EXPECT_EQ(t.translateEngine(), "model");
}

TEST(BarSettings, WritesGoStraightToTheStoreAndReadBack) {
    Fixture f;
    auto& s = f.settings;
    s.setExcluded({});
    EXPECT_TRUE(s.excluded().empty());  // an empty list is not the default
    s.setCopyFallbackApps({"code", "org.gnome.Terminal"});
    s.setEnabled(false);
    s.setHotkey({46, HotKeySpec::shift | HotKeySpec::cmd});

    BarSettings again(std::make_shared<UserDefaults>(f.file));
    EXPECT_FALSE(again.enabled());
    EXPECT_TRUE(again.excluded().empty());
    EXPECT_EQ(again.copyFallbackApps(), (std::vector<std::string>{"code", "org.gnome.Terminal"}));
    EXPECT_EQ(again.hotkey(), (HotKeySpec{46, 768}));
    EXPECT_EQ(f.defaults->integerValue("hotkeyMods"), 768);

    // A key code stored without modifiers reads with none.
    f.defaults->remove("hotkeyMods");
    EXPECT_EQ(s.hotkey(), (HotKeySpec{46, 0}));
}

TEST(BarSettings, PausingStoresSecondsAndTogglesAroundNow) {
    Fixture f;
    auto& s = f.settings;
    const TimePoint moment = fromUnixSeconds(1'900'000'000.25);
    s.setPausedUntil(moment);
    EXPECT_EQ(s.pausedUntil(), moment);
    EXPECT_NEAR(f.defaults->doubleValue("barPausedUntil").value_or(0), 1.9e9 + 0.25, 1e-6);
    s.setPausedUntil(std::nullopt);
    EXPECT_EQ(s.pausedUntil(), std::nullopt);
    EXPECT_EQ(f.defaults->value("barPausedUntil"), nlohmann::json(0));

    const TimePoint now = fromUnixSeconds(1'800'000'000);
    s.togglePause(now);
    EXPECT_EQ(s.pausedUntil(), fromUnixSeconds(1'800'003'600));
    EXPECT_EQ(SelectionDetector::Config::from(s).pausedUntil, fromUnixSeconds(1'800'003'600));
    s.togglePause(now + std::chrono::minutes(10));  // still paused: lifts it
    EXPECT_EQ(s.pausedUntil(), std::nullopt);
    s.setPausedUntil(now - std::chrono::hours(1));  // a pause in the past: pauses again
    s.togglePause(now);
    EXPECT_EQ(s.pausedUntil(), fromUnixSeconds(1'800'003'600));
}

TEST(HotKeySpec, ValidityNeedsCommandOptionOrControlAndDisplayNamesTheKey) {
    EXPECT_TRUE(HotKeySpec::defaultSpec().isValid());
    EXPECT_TRUE((HotKeySpec{45, 768}).isValid());
    for (std::uint32_t mods : {0u, unsigned(HotKeySpec::shift), 0x4000u})  // 0x4000: unknown bit
        EXPECT_FALSE((HotKeySpec{45, mods}).isValid()) << mods;
    struct Case {
        HotKeySpec key;
        const char* zh;
    };
    for (const Case& c : std::vector<Case>{{HotKeySpec::defaultSpec(), "⌃⌥N"},
                                           {{45, 768}, "⇧⌘N"},
                                           {{42, 0x1b00}, "⌃⌥⇧⌘\\"},
                                           {{50, HotKeySpec::cmd}, "⌘`"},
                                           {{111, 0}, "F12"},
                                           {{49, HotKeySpec::control}, "⌃空格"},
                                           {{200, HotKeySpec::control}, "⌃键200"}})
        EXPECT_EQ(c.key.display(), c.zh);
    Localizer::setLanguageOverride("en");
    EXPECT_EQ((HotKeySpec{49, HotKeySpec::option}).display(), "⌥Space");
    EXPECT_EQ((HotKeySpec{4294967295u, 0}).display(), "Key 4294967295");
    Localizer::setLanguageOverride("zh-Hans");
}

TEST(KeyCodes, EveryNamedKeyRoundTripsThroughItsKeysym) {
    std::set<std::uint32_t> keysyms;
    for (const auto& [code, name] : HotKeySpec::keyNames()) {
        const auto keysym = KeyCodes::keysymForKeyCode(code);
        ASSERT_TRUE(keysym) << name;
        EXPECT_TRUE(keysyms.insert(*keysym).second) << name;
        EXPECT_EQ(KeyCodes::keyCodeForKeysym(*keysym), code) << name;
    }
    EXPECT_EQ(KeyCodes::keysymForKeyCode(45), 0x6eu);  // XK_n
    // keypad Enter, upper case, shifted symbols and shift+Tab find their base key.
    for (auto [keysym, code] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {0xff8d, 76}, {'N', 45}, {'!', 18}, {'~', 50}, {0xfe20, 48}})
        EXPECT_EQ(KeyCodes::keyCodeForKeysym(keysym), code) << keysym;
    EXPECT_EQ(KeyCodes::keysymForKeyCode(200), std::nullopt);
    EXPECT_EQ(KeyCodes::keyCodeForKeysym(0xffe1), std::nullopt);  // Shift_L itself
}
