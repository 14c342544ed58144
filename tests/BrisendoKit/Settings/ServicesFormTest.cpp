#include "BrisendoKit/Settings/ServicesForm.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/InMemorySecretStore.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

struct Fixture {
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "com.morvale.pivorel.json";
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(file);
    std::shared_ptr<test::InMemorySecretStore> secrets =
        std::make_shared<test::InMemorySecretStore>();

    std::optional<std::string> secret(std::string_view account) {
        return secrets->get(Credentials::service, account);
    }
};

}  // namespace

TEST(ServicesForm, TheModelFormSavesTrimmedFieldsAndStoresATypedKeyOnly) {
    Fixture f;
    ASSERT_TRUE(f.secrets->set("sk-old", Credentials::service, Credentials::llmAccount));
    ServicesForm form{BarSettings(f.defaults), Credentials(f.secrets)};
    EXPECT_EQ(form.baseURL(), "https://api.deepseek.com/v1");
    EXPECT_EQ(form.model(), "deepseek-chat");
    EXPECT_TRUE(form.apiKey().empty());  // a stored key is never shown
    EXPECT_TRUE(form.hasKey());
    EXPECT_EQ(form.apiKeyPrompt(), "已保存，留空则不改");

    // Spaces around the default are not a change.
    form.setBaseURL("  https://api.deepseek.com/v1\n");
    EXPECT_FALSE(form.modelDirty());
    form.setModel(" deepseek-reasoner ");
    EXPECT_TRUE(form.modelDirty());
    form.saveModel();
    EXPECT_EQ(ServicesForm::noteText(form.modelNote()), "已保存");
    EXPECT_EQ(UserDefaults(f.file).stringValue("llmModel"), "deepseek-reasoner");
    EXPECT_EQ(UserDefaults(f.file).stringValue("llmBaseURL"), "https://api.deepseek.com/v1");
    EXPECT_EQ(f.secret(Credentials::llmAccount), "sk-old");
    EXPECT_FALSE(form.modelDirty());

    // White space alone is no key.
    form.setAPIKey(" \n\t");
    EXPECT_FALSE(form.modelDirty());
    form.setAPIKey("  sk-new\n");
    EXPECT_TRUE(form.modelDirty());
    EXPECT_EQ(form.modelNote(), ServicesForm::Note::none);  // typing clears the old note
    form.saveModel();
    EXPECT_EQ(f.secret(Credentials::llmAccount), "sk-new");
    EXPECT_TRUE(form.apiKey().empty());
    EXPECT_FALSE(form.modelDirty());
}

TEST(ServicesForm, AKeychainThatRefusesKeepsTheTypedSecretAndSaysSo) {
    Fixture f;
    f.secrets->failWrites = true;
    ServicesForm form{BarSettings(f.defaults), Credentials(f.secrets)};
    EXPECT_FALSE(form.hasKey());
    form.setModel("gpt-x");
    form.setAPIKey("sk-typed");
    form.saveModel();
    EXPECT_EQ(form.modelNote(), ServicesForm::Note::keychainFailed);
    EXPECT_EQ(form.apiKey(), "sk-typed");
    EXPECT_FALSE(form.hasKey());
    EXPECT_TRUE(form.modelDirty());  // the key still waits to be stored
    EXPECT_EQ(f.defaults->stringValue("llmModel"), "gpt-x");

    form.setWebhook(" https://flomoapp.com/iwh/abc/def/ ");
    form.saveFlomo();
    EXPECT_EQ(form.flomoNote(), ServicesForm::Note::keychainFailed);
    EXPECT_EQ(form.webhook(), " https://flomoapp.com/iwh/abc/def/ ");
    EXPECT_FALSE(form.hasFlomo());
}

TEST(ServicesForm, TheFlomoFormIsDirtyForAWebhookOrAChangedDryRun) {
    Fixture f;
    ServicesForm form{BarSettings(f.defaults), Credentials(f.secrets)};
    EXPECT_FALSE(form.flomoDirty());
    form.setFlomoDry(true);
    EXPECT_TRUE(form.flomoDirty());
    form.saveFlomo();
    EXPECT_EQ(f.defaults->boolValue("flomoDry"), true);
    EXPECT_FALSE(f.secret(Credentials::flomoAccount));
    EXPECT_EQ(form.flomoNote(), ServicesForm::Note::saved);
    EXPECT_FALSE(form.flomoDirty());

    form.setWebhook("https://flomoapp.com/iwh/abc/def/\n");
    EXPECT_TRUE(form.flomoDirty());
    form.saveFlomo();
    EXPECT_EQ(f.secret(Credentials::flomoAccount), "https://flomoapp.com/iwh/abc/def/");
    EXPECT_TRUE(form.hasFlomo());
    EXPECT_TRUE(form.webhook().empty());

    // Typed but not saved: reloading forgets it, the stored values come back.
    form.setFlomoDry(false);
    form.setWebhook("x");
    form.reload();
    EXPECT_TRUE(form.flomoDry());
    EXPECT_TRUE(form.webhook().empty());
    EXPECT_EQ(form.flomoNote(), ServicesForm::Note::none);
}

TEST(ServicesForm, TheEngineIsStoredAtOnceAndTheBannerFollowsTheKey) {
    Fixture f;
    ServicesForm form{BarSettings(f.defaults), Credentials(f.secrets)};
    EXPECT_EQ(form.engine(), TranslateEngine::automatic);
    form.setEngine(TranslateEngine::model);
    EXPECT_EQ(UserDefaults(f.file).stringValue("translateEngine"), "model");
    EXPECT_EQ(form.status(false),
              (TranslateEngineStatus{"还没填 API Key，翻译不会成功：请在下面填写", false}));

    // The banner names the stored model, not what is typed in the form.
    form.setModel("typed-only");
    form.setAPIKey("sk-1");
    EXPECT_EQ(form.status(false).text, "还没填 API Key，翻译不会成功：请在下面填写");
    form.setModel(" qwen-max ");
    form.saveModel();
    EXPECT_EQ(form.status(false), (TranslateEngineStatus{"现在用你的模型翻译（qwen-max）", true}));

    form.setEngine(TranslateEngine::automatic);
    EXPECT_EQ(f.defaults->stringValue("translateEngine"), "auto");
}
