#include "BrisendoKit/LanguageModel/Prompts.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

using namespace pivorel;

TEST(Prompts, AskNamesTheInterfaceLanguageAndTranslationGoesToTheOtherLanguage) {
    test::TempDir dir;
    auto defaults = std::make_shared<UserDefaults>(dir.path() / "d.json");
    Localizer::setPreferenceDefaults(defaults);
    const char* saved = std::getenv("LANGUAGE");
    const std::string savedLanguage = saved ? saved : "";

    Localizer::setLanguageOverride("de");
    EXPECT_NE(Prompts::ask().find("用德语回答"), std::string::npos) << Prompts::ask();
    Localizer::setLanguageOverride(std::nullopt);
    defaults->set("uiLanguage", "system");
    setenv("LANGUAGE", "fr_FR", 1);
    EXPECT_EQ(Prompts::answerLanguage(), "法语");
    defaults->set("uiLanguage", "ko");
    EXPECT_EQ(Prompts::answerLanguage(), "韩语");
    EXPECT_EQ(Prompts::answerLanguage("zh-Hant"), "繁体中文");
    EXPECT_EQ(Prompts::answerLanguage("pt-BR"), "英文");

    Localizer::setPreferenceDefaults(nullptr);
    Localizer::setLanguageOverride("zh-Hans");
    if (saved) {
        setenv("LANGUAGE", savedLanguage.c_str(), 1);
    } else {
        unsetenv("LANGUAGE");
    }

    EXPECT_EQ(
        Prompts::askMessages("serendipity", "Safari"),
        (std::vector<ChatMessage>{{"system", Prompts::ask()},
                                  {"user", "选中的文字：\nserendipity\n\n（来自：Safari）"}}));
    EXPECT_EQ(Prompts::askMessages("x", std::nullopt)[1].content, "选中的文字：\nx");

    const std::string toEnglish = Prompts::translateSystem("今天天气很好");
    const std::string toChinese = Prompts::translateSystem("The weather is nice");
    EXPECT_NE(toEnglish.find("英文"), std::string::npos);
    EXPECT_NE(toChinese.find("简体中文"), std::string::npos);
    EXPECT_EQ(Prompts::translateSystem("用 Docker 部署 the service"), toChinese);
    EXPECT_EQ(Prompts::translateSystem("12345"), toChinese);
    EXPECT_EQ(Prompts::translateMessages("你好"),
              (std::vector<ChatMessage>{{"system", toEnglish}, {"user", "你好"}}));
}
