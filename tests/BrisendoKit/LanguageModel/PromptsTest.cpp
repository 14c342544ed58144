#include "BrisendoKit/LanguageModel/Prompts.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

const std::string askHead =
    "你是用户 Mac 上的划词助手。用户刚选中了一段文字，想知道它是什么、怎么理解。用";
const std::string askTail =
    "回答，先给结论，再补必要的背景；简洁，不寒暄，不加免责声明。若是代码或命令，解释它做什么、"
    "有什么风险。";

// Sets the interface-language inputs for one test and puts them back afterwards.
class InterfaceLanguage : public ::testing::Test {
  protected:
    void SetUp() override {
        defaults_ = std::make_shared<UserDefaults>(dir_.path() / "d.json");
        Localizer::setPreferenceDefaults(defaults_);
        if (const char* v = std::getenv("LANGUAGE")) savedLanguage_ = v;
    }
    void TearDown() override {
        Localizer::setPreferenceDefaults(nullptr);
        Localizer::setLanguageOverride("zh-Hans");
        if (savedLanguage_) {
            setenv("LANGUAGE", savedLanguage_->c_str(), 1);
        } else {
            unsetenv("LANGUAGE");
        }
    }
    test::TempDir dir_;
    std::shared_ptr<UserDefaults> defaults_;
    std::optional<std::string> savedLanguage_;
};

}  // namespace

TEST_F(InterfaceLanguage, AskPromptNamesTheAnswerLanguage) {
    Localizer::setLanguageOverride("de");
    EXPECT_EQ(Prompts::ask(), askHead + "德语" + askTail);

    Localizer::setLanguageOverride(std::nullopt);
    defaults_->set("uiLanguage", "system");
    setenv("LANGUAGE", "fr_FR", 1);
    EXPECT_EQ(Prompts::answerLanguage(), "法语");
    defaults_->set("uiLanguage", "ko");
    EXPECT_EQ(Prompts::answerLanguage(), "韩语");

    EXPECT_EQ(Prompts::answerLanguage("zh-Hant"), "繁体中文");
    EXPECT_EQ(Prompts::answerLanguage("pt-BR"), "英文");
}

TEST(Prompts, BuildsTheFirstMessages) {
    EXPECT_EQ(
        Prompts::askMessages("serendipity", "Safari"),
        (std::vector<ChatMessage>{{"system", Prompts::ask()},
                                  {"user", "选中的文字：\nserendipity\n\n（来自：Safari）"}}));
    EXPECT_EQ(Prompts::askMessages("x", std::nullopt)[1].content, "选中的文字：\nx");

    const std::string toEnglish = "把用户给的文字翻译成自然、地道的英文。只输出译文，不解释。";
    const std::string toChinese =
        "把用户给的文字翻译成自然、通顺的简体中文。只输出译文，不解释；专有名词保留原文并在首次出现"
        "时括注。";
    EXPECT_EQ(Prompts::translateSystem("今天天气很好"), toEnglish);
    EXPECT_EQ(Prompts::translateSystem("The weather is nice"), toChinese);
    EXPECT_EQ(Prompts::translateSystem("用 Docker 部署 the service"), toChinese);
    EXPECT_EQ(Prompts::translateSystem("12345"), toChinese);
    EXPECT_EQ(Prompts::translateMessages("你好"),
              (std::vector<ChatMessage>{{"system", toEnglish}, {"user", "你好"}}));
}
