#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

using namespace pivorel;

TEST(Format, ConvertsTheSpecifiersTheTextsUse) {
    EXPECT_EQ(formatString("键%lld", {200}), "键200");
    EXPECT_EQ(formatString("%@ · %d · %ld", {"host", 3, 4L}), "host · 3 · 4");
    EXPECT_EQ(formatString("%02d:%02d", {7, 5}), "07:05");
    EXPECT_EQ(formatString("%.0f%%", {99.6}), "100%");
    EXPECT_EQ(formatString("%.2f", {3.14159}), "3.14");
    EXPECT_EQ(formatString("%.2f", {3.14159}, "de"), "3,14");
    EXPECT_EQ(formatString("%2$@ then %1$@", {"a", "b"}), "b then a");
    EXPECT_EQ(formatString("%2$lld/%1$lld", {1, 2}), "2/1");
}

TEST(Format, NeverGuessesAtMissingOrUnknownConversions) {
    EXPECT_EQ(formatString("%@ and %@", {"one"}), "one and %@");
    EXPECT_EQ(formatString("%3$@", {"a"}), "%3$@");
    EXPECT_EQ(formatString("100%", {1}), "100%");
    EXPECT_EQ(formatString("%q%k %@", {"x"}), "%q%k x");
    EXPECT_EQ(formatString("%99999999999999999999d", {1}).empty(), false);
}

class LocalizerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        defaults_ = std::make_shared<UserDefaults>(dir_.path() / "prefs.json");
        Localizer::setPreferenceDefaults(defaults_);
        Localizer::setLanguageOverride(std::nullopt);
    }
    void TearDown() override {
        Localizer::setPreferenceDefaults(nullptr);
        Localizer::setLanguageOverride("zh-Hans");
    }
    test::TempDir dir_;
    std::shared_ptr<UserDefaults> defaults_;
};

TEST_F(LocalizerTest, MatchesTheLocaleListAgainstSupportedLanguages) {
    EXPECT_EQ(Localizer::bestSupportedLanguage({"fr_CA.UTF-8", "en_US.UTF-8"}), "fr");
    EXPECT_EQ(Localizer::bestSupportedLanguage({"pt_BR.UTF-8"}), "en");
    EXPECT_EQ(Localizer::bestSupportedLanguage({"zh_TW.UTF-8"}), "zh-Hant");
    EXPECT_EQ(Localizer::bestSupportedLanguage({"zh_CN"}), "zh-Hans");
    EXPECT_EQ(Localizer::bestSupportedLanguage({"C", "POSIX", "de_AT@euro"}), "de");
    EXPECT_EQ(Localizer::bestSupportedLanguage({"pt_BR", "ja_JP"}), "ja");
    EXPECT_EQ(Localizer::bestSupportedLanguage({}), "en");
}

TEST_F(LocalizerTest, EffectiveLanguageFollowsOverrideThenPreferenceThenSystem) {
    defaults_->set("uiLanguage", "it");
    EXPECT_EQ(Localizer::preference(), "system");
    defaults_->set("uiLanguage", "ko");
    EXPECT_EQ(Localizer::effectiveLanguage(), "ko");
    Localizer::setLanguageOverride("ja");
    EXPECT_EQ(Localizer::effectiveLanguage(), "ja");
    Localizer::setPreference("de");
    EXPECT_EQ(Localizer::effectiveLanguage(), "ja");  // the override still wins
    EXPECT_EQ(Localizer::preference(), "de");
}

TEST_F(LocalizerTest, SetPreferenceNotifiesOnlyOnRealChanges) {
    int posts = 0;
    auto observer = LanguageStore::shared().changed.connect([&](long long) { ++posts; });
    const auto start = LanguageStore::shared().revision();

    Localizer::setPreference("system");  // already system
    EXPECT_EQ(posts, 0);
    Localizer::setPreference("en");
    EXPECT_EQ(defaults_->stringValue("uiLanguage"), "en");
    Localizer::setPreference("en");
    EXPECT_EQ(posts, 1);
    Localizer::setPreference("klingon");  // unsupported reads as system: removes the key
    EXPECT_FALSE(defaults_->contains("uiLanguage"));
    EXPECT_EQ(posts, 2);
    EXPECT_EQ(LanguageStore::shared().revision(), start + 2);
}

TEST_F(LocalizerTest, LooksUpTranslationsAndFallsBackToTheKey) {
    Localizer::setLanguageOverride("en");
    EXPECT_EQ(L("复制"), "Copy");
    EXPECT_EQ(L("这句话没有翻译"), "这句话没有翻译");
    EXPECT_EQ(L("键%lld", 200), "Key 200");
    EXPECT_EQ(L("没有翻译的键%lld", 200), "没有翻译的键200");
    EXPECT_EQ(L("完成 100%"), "完成 100%");  // no arguments: never formatted
    Localizer::setLanguageOverride("zh-Hans");
    EXPECT_EQ(L("复制"), "复制");
    EXPECT_EQ(L("键%lld", 200), "键200");
    Localizer::setLanguageOverride("xx");
    EXPECT_EQ(L("复制"), "复制");
}
