#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include <unicode/regex.h>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

TEST(Format, ConvertsTheSpecifiersTheTextsUseAndNeverGuessesAtOthers) {
    EXPECT_EQ(formatString("%@ · %d · %ld", {"host", 3, 4L}), "host · 3 · 4");
    EXPECT_EQ(formatString("%02d:%02d", {7, 5}), "07:05");
    EXPECT_EQ(formatString("%.0f%%", {99.6}), "100%");
    EXPECT_EQ(formatString("%.2f", {3.14159}), "3.14");
    EXPECT_EQ(formatString("%.2f", {3.14159}, "de"), "3,14");
    EXPECT_EQ(formatString("%2$@ then %1$@", {"a", "b"}), "b then a");
    EXPECT_EQ(formatString("%2$lld/%1$lld", {1, 2}), "2/1");
    // Never a guess at missing or unknown conversions.
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
    Localizer::setLanguageOverride("xx");
    EXPECT_EQ(L("复制"), "复制");
}

namespace {

// The conversions of a format, positions dropped and length modifiers kept, sorted.
std::multiset<std::string> specifiers(const std::string& text) {
    static const std::regex spec(R"(%(?:\d+\$)?[-+ 0]*\d*(?:\.\d+)?(?:ll|l|h|q|z)?[@dfiu%])");
    std::multiset<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), spec);
         it != std::sregex_iterator(); ++it) {
        out.insert(std::regex_replace(it->str(), std::regex(R"(\d+\$)"), ""));
    }
    return out;
}

std::string unescape(const std::string& literal) {
    std::string out;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        const bool escape = literal[i] == '\\' && i + 1 < literal.size();
        const char c = literal[escape ? ++i : i];
        out += !escape ? c : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

// Every literal key handed to L( ... ) in the program's sources, with where it was found.
std::map<std::string, std::string> keysUsedInCode() {
    std::map<std::string, std::string> keys;
    const char* root = std::getenv("PIVOREL_TEST_SOURCE_DIR");
    if (!root) return keys;
    // A key may be split into adjacent literals across lines.
    static const std::regex call(R"re(\bL\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+))re");
    static const std::regex piece(R"re("((?:[^"\\]|\\.)*)")re");
    for (const char* dir : {"BrisendoKit", "Pivorel"}) {
        if (!fs::exists(fs::path(root) / dir)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(root) / dir)) {
            const auto ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") continue;
            const auto source = fileio::readFile(entry.path());
            if (!source) continue;
            for (auto it = std::sregex_iterator(source->begin(), source->end(), call);
                 it != std::sregex_iterator(); ++it) {
                const std::string literals = (*it)[1].str();
                std::string key;
                for (auto p = std::sregex_iterator(literals.begin(), literals.end(), piece);
                     p != std::sregex_iterator(); ++p) {
                    key += (*p)[1].str();
                }
                keys.emplace(unescape(key), entry.path().filename().string());
            }
        }
    }
    return keys;
}

}  // namespace

TEST(TranslationTables, EveryTableHasTheSameKeysWithMatchingSpecifiers) {
    const auto reference = Localizer::tableKeys("en");
    ASSERT_FALSE(reference.empty());
    const std::set<std::string> referenceSet(reference.begin(), reference.end());
    for (const auto& language : Localizer::supported()) {
        if (language == "zh-Hans") continue;
        const auto keys = Localizer::tableKeys(language);
        EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), referenceSet) << language;
        for (const auto& key : keys) {
            const auto value = Localizer::lookup(key, language);
            EXPECT_FALSE(value.empty()) << language << ": " << key;
            EXPECT_EQ(specifiers(value), specifiers(key)) << language << ": " << key;
        }
    }
}

TEST(TranslationTables, EveryKeyTheCodeUsesIsTranslated) {
    if (!std::getenv("PIVOREL_TEST_SOURCE_DIR")) GTEST_SKIP() << "source directory unknown";
    const auto used = keysUsedInCode();
    ASSERT_FALSE(used.empty());
    // Every other table has the keys of the English one (above).
    const auto english = Localizer::tableKeys("en");
    const std::set<std::string> translated(english.begin(), english.end());
    for (const auto& [key, file] : used)
        EXPECT_TRUE(translated.count(key)) << "\"" << key << "\" (" << file << ") is untranslated";
}

TEST(TranslationTables, NoTextNamesAMacOSPlace) {
    // macOS words of every interface language, whole words in any case ("Mac", not "Machine").
    UErrorCode status = U_ZERO_ERROR;
    icu::RegexMatcher macWord(
        icu::UnicodeString::fromUTF8(
            "(?<![a-z])(Finder|访达|訪達|Keychain|钥匙串|鑰匙圈|llavero|キーチェーン|키체인|"
            "System Settings|Systemeinstellungen|Réglages|Ajustes del Sistema|"
            "システム設定|시스템 설정|系统设置|系統設定|menu bar|Menüleiste|barre des menus|"
            "barra de menús|メニューバー|메뉴 막대|菜单栏|選單列|Login Items|Anmeldeobjekte|"
            "Ítems de inicio|ログイン項目|로그인 항목|登录项|登入項目|Bedienungshilfen|"
            "손쉬운 사용|輔助使用|SF.Symbol|bundle|macOS|Mac|⌘|⌥|⌃|⇧)(?![a-z])"),
        UREGEX_CASE_INSENSITIVE, status);
    ASSERT_TRUE(U_SUCCESS(status));
    const auto named = [&](const std::string& text) {
        return macWord.reset(icu::UnicodeString::fromUTF8(text)).find();
    };
    for (const auto& language : Localizer::supported()) {
        if (language == "zh-Hans") continue;
        for (const auto& key : Localizer::tableKeys(language)) {
            EXPECT_FALSE(named(key)) << key;
            const auto value = Localizer::lookup(key, language);
            EXPECT_FALSE(named(value)) << language << ": " << value;
        }
    }
}
