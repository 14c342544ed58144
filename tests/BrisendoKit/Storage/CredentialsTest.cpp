#include "BrisendoKit/Storage/Credentials.h"

#include <gtest/gtest.h>

#include <fstream>

#include "Fakes/InMemorySecretStore.h"
#include "TempDir.h"

using namespace pivorel;

namespace {
struct CredentialsTest : ::testing::Test {
    std::shared_ptr<test::InMemorySecretStore> store =
        std::make_shared<test::InMemorySecretStore>();
    Credentials credentials{store};
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "auth.json";
};
const std::string noKeyLine = "llm-api-key: FAILED (auth.json 里没有 deepseek 的 key)";
const std::string skippedLine = "flomo-webhook: skipped (PIVOREL_FLOMO_URL 未设置)";
}  // namespace

TEST(Credentials, LlmKeyAcceptsOnlyANonEmptyStringUnderTheProvider) {
    EXPECT_EQ(Credentials::llmKey(R"({"deepseek": {"key": "sk-1", "type": "api"}})", "deepseek"),
              "sk-1");
    EXPECT_EQ(Credentials::llmKey(R"({"openai": {"key": "sk-2"}})", "openai"), "sk-2");
    for (const char* bad : {R"({"deepseek": {"key": ""}})", R"({"deepseek": {"key": 5}})",
                            R"({"deepseek": "sk-1"})", R"({"deepseek": {"token": "x"}})",
                            R"([{"deepseek": {"key": "sk-1"}}])", R"({"openai": {"key": "x"}})",
                            "{\"deepseek\": {\"key\": \"sk-\xff\"}}", "not json", "", "{"}) {
        EXPECT_EQ(Credentials::llmKey(bad, "deepseek"), std::nullopt) << bad;
    }
}

TEST_F(CredentialsTest, WithoutAStoreNothingIsReadOrWritten) {
    const Credentials none;
    EXPECT_FALSE(none.set("v", Credentials::llmAccount));
    EXPECT_FALSE(none.exists(Credentials::llmAccount));
    EXPECT_EQ(none.get(Credentials::llmAccount), std::nullopt);

    EXPECT_TRUE(store->set("v1", "com.morvale.pivorel", "flomo-webhook"));
    EXPECT_TRUE(credentials.set("v2", "flomo-webhook"));  // replaces
    EXPECT_EQ(credentials.get("flomo-webhook"), "v2");
    EXPECT_FALSE(credentials.exists("flomo-webhook", "com.morvale.brisendo"));
}

TEST_F(CredentialsTest, SeedWithNothingToSeedGivesTheTwoFallbackLines) {
    EXPECT_EQ(credentials.seed(dir.path() / "missing.json", {}),
              (std::vector<std::string>{noKeyLine, skippedLine}));
    EXPECT_FALSE(store->exists(Credentials::service, Credentials::llmAccount));

    // Unreadable, wrong-shaped, huge or empty-keyed files all give the same line; a webhook
    // of another origin is skipped.
    const std::map<std::string, std::string> env = {
        {"PIVOREL_FLOMO_URL", "http://flomoapp.com/iwh/abc"}};
    std::ofstream(file) << R"({"deepseek": {"key": ""}})";
    EXPECT_EQ(credentials.seed(file, env), (std::vector<std::string>{noKeyLine, skippedLine}));
    std::ofstream(file) << "\x89PNG";
    EXPECT_EQ(credentials.seed(file, env)[0], noKeyLine);
    std::ofstream(file) << R"({"deepseek": {"key": "sk-big"}, "pad": ")"
                        << std::string(Credentials::maxAuthFileBytes, 'x') << "\"}";
    EXPECT_EQ(credentials.seed(file, env)[0], noKeyLine);
    EXPECT_EQ(credentials.seed(dir.path(), env)[0], noKeyLine);  // a directory
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(CredentialsTest, SeedStoresTheKeyAndWebhookAndReportsTheStoresAnswer) {
    std::ofstream(file) << R"({"deepseek": {"key": "sk-d"}, "moonshot": {"key": "sk-m"}})";
    const std::string url = "https://flomoapp.com/iwh/MTIz/abcdef/";
    EXPECT_EQ(credentials.seed(file, {{"PIVOREL_FLOMO_URL", url}}),
              (std::vector<std::string>{"llm-api-key(deepseek): ok", "flomo-webhook: ok"}));
    EXPECT_EQ(credentials.get(Credentials::llmAccount), "sk-d");
    EXPECT_EQ(credentials.get(Credentials::flomoAccount), url);

    EXPECT_EQ(credentials.seed(file, {{"PIVOREL_LLM_PROVIDER", "moonshot"}}),
              (std::vector<std::string>{"llm-api-key(moonshot): ok", skippedLine}));
    EXPECT_EQ(credentials.get(Credentials::llmAccount), "sk-m");
    EXPECT_EQ(credentials.seed(file, {{"PIVOREL_LLM_PROVIDER", "openai"}})[0],
              "llm-api-key: FAILED (auth.json 里没有 openai 的 key)");

    store->failWrites = true;
    EXPECT_EQ(credentials.seed(file, {{"PIVOREL_FLOMO_URL", url}}),
              (std::vector<std::string>{"llm-api-key(deepseek): FAILED", "flomo-webhook: FAILED"}));
    EXPECT_EQ(credentials.get(Credentials::llmAccount), "sk-m");
}
