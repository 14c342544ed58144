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
struct BarSettingsTest : ::testing::Test {
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "com.morvale.pivorel.json";
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(file);
    BarSettings settings{defaults};

    BarSettings stored(const std::string& json) {
        std::ofstream(dir.path() / "d.json") << json;
        return BarSettings(std::make_shared<UserDefaults>(dir.path() / "d.json"));
    }
};
}  // namespace

TEST_F(BarSettingsTest, MissingOrHandEditedValuesOfTheWrongTypeReadAsDefaults) {
    const auto config = SelectionDetector::Config::from(settings);
    EXPECT_TRUE(config.enabled);
    EXPECT_EQ(config.excluded, std::set<std::string>(BarSettings::defaultExcluded().begin(),
                                                     BarSettings::defaultExcluded().end()));
    EXPECT_EQ(config.ownBundleID, "com.morvale.pivorel");
    EXPECT_FALSE(std::filesystem::exists(file));  // reading writes nothing

    BarSettings s = stored(R"({"barEnabled": "no", "barExcludedApps": ["a", 1],
        "barCopyFallbackApps": "code", "barPausedUntil": "1900000000", "hotkeyCode": "45",
        "hotkeyMods": 256, "llmBaseURL": 5, "llmModel": null, "flomoDry": 1,
        "translateEngine": "deepl"})");
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
        const BarSettings read = stored(json);
        EXPECT_EQ(read.hotkey(), HotKeySpec::defaultSpec()) << json;
        EXPECT_EQ(read.pausedUntil(), std::nullopt) << json;
    }
    // A stored empty address is used as stored; the two known engines pass through.
    BarSettings t = stored(R"({"llmBaseURL": "", "translateEngine": "model"})");
    EXPECT_EQ(t.llmBaseURL(), "");
    EXPECT_EQ(t.translateEngine(), "model");
}

TEST_F(BarSettingsTest, WritesGoStraightToTheStoreAndReadBack) {
    settings.setExcluded({});
    settings.setCopyFallbackApps({"code", "org.gnome.Terminal"});
    settings.setEnabled(false);
    settings.setHotkey({46, HotKeySpec::shift | HotKeySpec::cmd});

    BarSettings again(std::make_shared<UserDefaults>(file));
    EXPECT_FALSE(again.enabled());
    EXPECT_TRUE(again.excluded().empty());  // an empty list is not the default
    EXPECT_EQ(again.copyFallbackApps(), (std::vector<std::string>{"code", "org.gnome.Terminal"}));
    EXPECT_EQ(again.hotkey(), (HotKeySpec{46, 768}));
    EXPECT_EQ(defaults->integerValue("hotkeyMods"), 768);

    // A key code stored without modifiers reads with none.
    defaults->remove("hotkeyMods");
    EXPECT_EQ(settings.hotkey(), (HotKeySpec{46, 0}));
}

TEST_F(BarSettingsTest, PausingStoresSecondsAndTogglesAroundNow) {
    const TimePoint moment = fromUnixSeconds(1'900'000'000.25);
    settings.setPausedUntil(moment);
    EXPECT_EQ(settings.pausedUntil(), moment);
    EXPECT_NEAR(defaults->doubleValue("barPausedUntil").value_or(0), 1.9e9 + 0.25, 1e-6);
    settings.setPausedUntil(std::nullopt);
    EXPECT_EQ(settings.pausedUntil(), std::nullopt);
    EXPECT_EQ(defaults->value("barPausedUntil"), nlohmann::json(0));

    const TimePoint now = fromUnixSeconds(1'800'000'000), hourLater = now + std::chrono::hours(1);
    settings.setPausedUntil(now - std::chrono::hours(1));  // a pause in the past: pauses again
    settings.togglePause(now);
    EXPECT_EQ(SelectionDetector::Config::from(settings).pausedUntil, hourLater);
}

TEST(HotKeySpec, ValidityNeedsCommandOptionOrControlAndDisplayNamesTheKey) {
    EXPECT_TRUE(HotKeySpec::defaultSpec().isValid());
    EXPECT_TRUE((HotKeySpec{45, 768}).isValid());
    for (std::uint32_t mods : {0u, unsigned(HotKeySpec::shift), 0x4000u})  // 0x4000: unknown bit
        EXPECT_FALSE((HotKeySpec{45, mods}).isValid()) << mods;
    for (const auto& [key, zh] : std::vector<std::pair<HotKeySpec, const char*>>{
             {{36, 0x1b00}, "Ctrl+Alt+Shift+Super+Enter"},
             {{111, 0}, "F12"},
             {{200, HotKeySpec::control}, "Ctrl+键200"}})
        EXPECT_EQ(key.display(), zh);
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
